#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "entries/Entry.h"

// The changes of the entry list made in this run, for undo and redo: each change is kept as the
// whole list before it, so that any sequence undone to its start gives the list as it was and
// redone gives it as it became. Lists share their texts when copied, so a step costs one entry
// record per row. Pure logic; the window applies what it returns.
class EntryHistory {
  public:
    // The oldest steps are forgotten beyond this many, or beyond kMaxRowsKept rows in all.
    static constexpr std::size_t kMaxSteps = 1000;
    static constexpr std::size_t kMaxRowsKept = 2000000;

    // A change made: the list was `before` and is now `after`. Nothing is recorded when they are
    // equal; otherwise what could be redone is forgotten.
    void record(const EntryList& before, const EntryList& after);

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }

    // The list as it was before the last change not undone, with `current` kept for redo; nothing
    // when there is no such change.
    std::optional<EntryList> undo(const EntryList& current);
    // The list as the last undone change made it, with `current` kept for undo.
    std::optional<EntryList> redo(const EntryList& current);

  private:
    void trim();

    std::vector<EntryList> undo_;
    std::vector<EntryList> redo_;
};
