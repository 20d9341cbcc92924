#pragma once

#include <QObject>
#include <QStringList>

#include "entries/EntryHistory.h"

class EntryListModel;
class Form1;
class QAction;
class QTreeView;

namespace platform {
class Dialogs;
}

namespace app {

// What the main window's list offers beyond its buttons: keys (Delete, Enter and F2, Insert run
// the buttons' handlers), copy and paste of the list as text, files dropped on it, undo and redo
// of every change of the list made in this run, the two sorts, and a context menu holding them
// all. A change made here or by a button is one step of the history; nothing here stores the
// list.
class ListActions : public QObject {
    Q_OBJECT
  public:
    ListActions(Form1& form, EntryListModel& model, QTreeView& list, platform::Dialogs& dialogs);

    // Runs `change` (a button's handler, a paste) as one step of the history.
    template <typename Change>
    void recorded(Change change) {
        const EntryList before = entriesNow();
        change();
        record(before);
    }

    void copy();
    void paste();
    void undo();
    void redo();
    void sortByAmount();
    void sortByAssetType();
    // Appends the rows of the files; a file that cannot be read is named with the reason.
    void dropFiles(const QStringList& paths);

    // The context menu's actions, in its order (a null entry is a separator); `name` is the
    // action's objectName, so that tests can find and trigger it.
    QAction* action(const QString& name) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QAction* addAction(const char* name, const QString& text, const QList<QKeySequence>& keys);
    void createActions();
    void updateActions();
    EntryList entriesNow() const;
    void record(const EntryList& before);
    void show(const EntryList& entries);
    // Appends `entries` as one step and tells what was refused.
    void appendRows(const EntryList& entries, const QString& refusals);

    Form1& form_;
    EntryListModel& model_;
    QTreeView& list_;
    platform::Dialogs& dialogs_;
    EntryHistory history_;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
};

}  // namespace app
