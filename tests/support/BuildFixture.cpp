#include "support/BuildFixture.h"

#include "entries/EntryListModel.h"
#include "preview/Form2.h"

namespace {

class NamedApplication : public chart::SpreadsheetApplication {
  public:
    QString Name() const override { return "Microsoft Excel"; }
    std::shared_ptr<chart::SpreadsheetWorkbook> OpenWorkbook(const QString&) override {
        throw std::runtime_error("not used");
    }
    int WorkbookCount() const override { return 0; }
    std::shared_ptr<chart::SpreadsheetWorkbook> Workbook(int) override {
        throw std::runtime_error("not used");
    }
    void setDisplayAlerts(bool) override {}
    void Quit() override {}
};

}  // namespace

std::unique_ptr<chart::SpreadsheetApplication> RunningExcelClass::GetRunning() {
    return std::make_unique<NamedApplication>();
}

void BuildFixture::SetUp() {
    TestEnv::SetUp();
    ASSERT_TRUE(programFolder.isValid());
}

void BuildFixture::TearDown() {
    form.reset();
    TestEnv::TearDown();
}

void BuildFixture::startWith(const EntryList& entries) {
    common::Services services;
    services.dialogs = &dialogs;
    services.random = &random;
    services.shell = &shell;
    services.spreadsheets = spreadsheets;
    services.programFolder = programFolder.path();
    form = std::make_unique<Form1>(services);
    form->Form_Load();
    form->entries().clear();
    form->entries().appendAll(entries);
    form->show();
}

void BuildFixture::build() { form->PushButton1_Click(); }
