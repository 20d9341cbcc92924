#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <memory>

#include "app/Form1.h"
#include "chart/EngineSpreadsheet.h"
#include "entries/Entry.h"
#include "support/Doubles.h"
#include "support/TestEnv.h"

// The engine, except that a spreadsheet application called "Microsoft Excel" is running.
class RunningExcelClass : public chart::EngineSpreadsheetClass {
  public:
    std::unique_ptr<chart::SpreadsheetApplication> GetRunning() override;
    int created = 0;
    std::unique_ptr<chart::SpreadsheetApplication> CreateNew() override {
        ++created;
        return chart::EngineSpreadsheetClass::CreateNew();
    }
};

// A main window started in its own configuration and temporary folders, with scripted dialogs.
class BuildFixture : public TestEnv {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the main window with `entries` in its list.
    void startWith(const EntryList& entries);
    void build();  // presses "Start Creating Template"

    QString inTemp(const QString& name) const { return QDir(tempDir()).filePath(name); }

    QTemporaryDir programFolder;
    platform::ScriptedDialogs dialogs;
    platform::ScriptedRandom random{0.5};
    RecordingOpener shell;
    RunningExcelClass runningExcel;
    chart::EngineSpreadsheetClass engine;
    chart::SpreadsheetClass* spreadsheets = &engine;
    std::unique_ptr<Form1> form;
};
