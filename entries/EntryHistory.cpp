#include "entries/EntryHistory.h"

void EntryHistory::record(const EntryList& before, const EntryList& after) {
    if (before == after) return;
    undo_.push_back(before);
    redo_.clear();
    trim();
}

std::optional<EntryList> EntryHistory::undo(const EntryList& current) {
    if (undo_.empty()) return std::nullopt;
    EntryList previous = std::move(undo_.back());
    undo_.pop_back();
    redo_.push_back(current);
    return previous;
}

std::optional<EntryList> EntryHistory::redo(const EntryList& current) {
    if (redo_.empty()) return std::nullopt;
    EntryList next = std::move(redo_.back());
    redo_.pop_back();
    undo_.push_back(current);
    return next;
}

void EntryHistory::trim() {
    std::size_t rows = 0;
    for (const EntryList& list : undo_) rows += std::size_t(list.size());
    std::size_t drop = 0;
    while (drop < undo_.size() && (undo_.size() - drop > kMaxSteps || rows > kMaxRowsKept)) {
        rows -= std::size_t(undo_[drop].size());
        ++drop;
    }
    undo_.erase(undo_.begin(), undo_.begin() + std::ptrdiff_t(drop));
}
