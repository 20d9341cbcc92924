#pragma once

#include <QString>

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

    // The text shown when a label holds a separator of the stored form.
    static QString separatorMessage();
    // True when the amount passes the numeric test.
    static bool IsNumeric(const QString& text);

  private:
    // Position of the selected row; throws app::Failure when no row is selected.
    int selectedRow() const;
    void select(int row);

    EntryListModel& list_;
    QItemSelectionModel& selection_;
    platform::Dialogs& dialogs_;
};
