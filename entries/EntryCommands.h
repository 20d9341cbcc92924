#pragma once

#include <QString>

#include "entries/Entry.h"

class EntryListModel;
class QItemSelectionModel;

namespace platform {
class Dialogs;
}

// The main window's list editing commands. Each runs its numbered steps under its own error trap,
// named after the main window's button handler ("Form1.PushButton2_Click"), works on the list's
// rows directly and stores nothing.
class EntryCommands {
  public:
    EntryCommands(EntryListModel& list, QItemSelectionModel& selection, platform::Dialogs& dialogs);

    void AddNew();          // PushButton2
    void DeleteSelected();  // PushButton3
    void EditSelected();    // PushButton4
    void ClearList();       // PushButton5
    void Help();            // PushButton6
    void LoadSamples();     // PushButton7

    // The text shown when an entry would not read back from the stored form as typed.
    static QString separatorMessage();
    // True when the amount passes the numeric test, read with the user's number conventions
    // (common::readAmount): exactly when the engine holds it as a number. Paste and drop take an
    // amount through this test too.
    static bool IsNumeric(const QString& text);

  private:
    // True when the entry reads back from the stored form as it is; otherwise says so and
    // returns false.
    bool storable(const Entry& entry);
    // Position of the selected row; throws common::Failure when no row is selected.
    int selectedRow() const;

    EntryListModel& list_;
    QItemSelectionModel& selection_;
    platform::Dialogs& dialogs_;
};
