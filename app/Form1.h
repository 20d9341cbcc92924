#pragma once

#include <QWidget>
#include <memory>
#include <optional>

#include "common/Services.h"
#include "common/SkinFramework.h"

class EntryCommands;
class EntryListModel;
class Form2;
class QPushButton;
class QTreeView;

namespace app {
class ListActions;
}
namespace common {
class MousePointer;
}

// The main window: the entry list and the seven command buttons. Loading it runs the start-up
// sequence; closing it stores the list and ends the program.
class Form1 : public QWidget {
    Q_OBJECT
  public:
    explicit Form1(const common::Services& services, QWidget* parent = nullptr);
    ~Form1() override;

    // The start-up sequence; the program calls it once before showing the window.
    void Form_Load();

    // Reads the stored list into the (empty) list and sets up its two columns.
    void LoadEntries();
    // The stored text of the current list.
    QString EncodeEntries() const;
    // Writes the list to the settings store. On failure returns a message naming the file. A
    // settings file that could not be read at start is first kept as a copy beside it, and is
    // not replaced when no copy can be kept.
    std::optional<QString> StoreEntries();

    // Ends the program as closing the shown window does, for the end of the desktop session
    // and for a termination signal: with the main window shown the list is stored, with the
    // Preview shown its temporary workbook is deleted. During a build it takes effect when the
    // build has finished.
    void endProgram();

    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton6_Click();
    void PushButton7_Click();

    EntryListModel& entries() { return *model_; }
    QTreeView* listView() const { return ListView1; }
    common::MousePointer& mousePointer() { return *pointer_; }
    // The list's keys, clipboard, drop, undo and context menu.
    app::ListActions& listActions() { return *listActions_; }
    common::SkinFramework& skin() { return SkinFramework1; }
    // The Preview window, created at its first use.
    Form2* preview();
    Form2* previewIfLoaded() const { return form2_; }
    const common::Services& services() const { return services_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void createControls();
    void placeControls();
    void connectHandlers();
    void tellUnreadableSettings(const QString& failure, bool somethingRead);
    void Form_QueryUnload();
    void Form_Unload();

    common::Services services_;
    std::unique_ptr<EntryListModel> model_;
    std::unique_ptr<EntryCommands> commands_;
    common::MousePointer* pointer_ = nullptr;
    app::ListActions* listActions_ = nullptr;  // owned by the list
    common::SkinFramework SkinFramework1;
    Form2* form2_ = nullptr;  // the Preview window, owned here once loaded
    bool building_ = false;
    bool closeWhenBuilt_ = false;    // a close asked for during a build
    bool keepSettingsFile_ = false;  // the settings file could not be read at start

    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QPushButton* PushButton6 = nullptr;
    QPushButton* PushButton7 = nullptr;
    QTreeView* ListView1 = nullptr;
};
