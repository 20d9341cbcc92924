// The main window with Qt's own prompts and message boxes, answered as a user would. A program of
// its own: a window that ends the program leaves Qt's event loops closed for the rest of a run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include "app/Form1.h"
#include "chart/EngineSpreadsheet.h"
#include "entries/EntryListModel.h"
#include "platform/QtDialogs.h"
#include "support/Doubles.h"
#include "support/TestEnv.h"

namespace {

class RealPrompts : public TestEnv {
  protected:
    void SetUp() override {
        TestEnv::SetUp();
        services.dialogs = &dialogs;
        services.random = &random;
        services.shell = &shell;
        services.spreadsheets = &spreadsheets;
        services.programFolder = programFolder.path();
    }

    platform::QtDialogs dialogs;
    platform::ScriptedRandom random{0.5};
    RecordingOpener shell;
    chart::EngineSpreadsheetClass spreadsheets;
    QTemporaryDir programFolder;
    common::Services services;
};

// "Edit Selected Entry" with OK on both prompts without typing leaves a label of 40,000
// characters as it was (a line edit keeps 32,767 unless told otherwise).
TEST_F(RealPrompts, OkWithoutTypingKeepsALongLabelWhole) {
    const QString label = "Head" + QString(40000, 'm') + "Tail";
    QSettings(settingsFile(), QSettings::IniFormat)
        .setValue("Morrowlin/Assets", label + "||SEP1||7500||SEP2||");
    Form1 form(services);
    form.Form_Load();
    form.show();
    ASSERT_EQ(form.entries().entries(), EntryList({{label, "7500"}}));
    form.listView()->setCurrentIndex(form.entries().index(0, 0));

    QStringList shown;  // the titles of the boxes answered, in order
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) return;
        shown << box->windowTitle();
        if (auto* prompt = qobject_cast<QInputDialog*>(box))
            prompt->accept();
        else
            box->close();
    });
    answerer.start(20);
    form.findChild<QPushButton*>("PushButton4")->click();
    answerer.stop();
    EXPECT_EQ(shown, QStringList({"Input New Asset Type", "Input New Amount"}));
    EXPECT_EQ(form.entries().entries(), EntryList({{label, "7500"}}));
}

// A message box belongs to the program's window even when the program has no active window (a
// Wayland compositor that keeps focus elsewhere): it is parented to the shown window.
TEST_F(RealPrompts, AMessageBoxIsParentedToTheShownWindowWithoutFocus) {
    Form1 form(services);
    form.Form_Load();
    form.show();
    QCoreApplication::processEvents();
    QApplication::setActiveWindow(nullptr);  // the focus is elsewhere
    if (QApplication::activeWindow() != nullptr) GTEST_SKIP() << "the window was activated";
    QWidget* parent = reinterpret_cast<QWidget*>(1);
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) return;
        parent = box->parentWidget();
        box->close();
    });
    answerer.start(20);
    form.findChild<QPushButton*>("PushButton6")->click();  // "Help"
    answerer.stop();
    EXPECT_EQ(parent, &form);
}

// A stored label of 2 MB without its amount: the error report naming it opens at once and fits
// on the screen, because it quotes only the label's head and tail.
TEST_F(RealPrompts, AReportNamingAHugeLabelFitsOnTheScreen) {
    const QString label = QString("Savings account ").repeated(125000) + "end";
    QSettings(settingsFile(), QSettings::IniFormat)
        .setValue("Morrowlin/Assets", label + "||SEP2||");
    QStringList shown;
    QSize size;
    qint64 openedAfter = -1;
    QElapsedTimer clock;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) return;
        shown << box->windowTitle();
        size = box->frameGeometry().size();
        openedAfter = clock.elapsed();
        box->close();
    });
    answerer.start(20);
    clock.start();
    Form1 form(services);
    form.Form_Load();
    answerer.stop();
    ASSERT_EQ(shown, QStringList({"Application Error"}));
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    EXPECT_LE(size.width(), screen.width());
    EXPECT_LE(size.height(), screen.height());
    EXPECT_LT(openedAfter, 5000) << "ms";
    EXPECT_EQ(form.entries().count(), 1);
}

}  // namespace
