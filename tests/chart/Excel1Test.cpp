#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include "app/ChartBuild.h"
#include "chart/Excel1.h"
#include "chart/Template.h"
#include "support/BuildFixture.h"

namespace {

class Excel1Test : public BuildFixture {
  protected:
    // The template, written where the build writes it.
    QString templateCopy() {
        const QString path = inTemp(chart::kTemplateFileName);
        writeFile(path, chart::TemplateBytes());
        return path;
    }
};

struct WarnCase {
    const char* name;
    bool running;
    int answer;
    bool stop;
    int boxes;
};

class WarnIfExcelOpen : public Excel1Test, public ::testing::WithParamInterface<WarnCase> {};

TEST_P(WarnIfExcelOpen, AsksOnlyWhenExcelRuns) {
    const WarnCase& c = GetParam();
    chart::SpreadsheetClass& spreadsheets =
        c.running ? static_cast<chart::SpreadsheetClass&>(runningExcel) : engine;
    dialogs.queueAnswer(c.answer);
    EXPECT_EQ(Excel1::isExcelRunning(spreadsheets), c.running);
    EXPECT_EQ(Excel1::warnIfExcelOpen(spreadsheets, dialogs), c.stop);
    EXPECT_EQ(dialogs.messages().size(), c.boxes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WarnIfExcelOpen,
    ::testing::Values(WarnCase{"NotRunning", false, platform::kAnswerNo, false, 0},
                      WarnCase{"RunningYes", true, platform::kAnswerYes, false, 1},
                      WarnCase{"RunningNo", true, platform::kAnswerNo, true, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Excel1Test, SavedPictureHasTheClipboardsPixels) {
    auto instance = Excel1::openExcelWorkbook(engine, templateCopy());
    ASSERT_EQ(instance->WorkbookCount(), 1);
    const QString bmp = inTemp("temp.bmp");
    Excel1::saveCellsActivesheet(instance->Workbook(1).get(), bmp, dialogs);
    EXPECT_TRUE(dialogs.shown().isEmpty());

    const QImage onClipboard = QGuiApplication::clipboard()->image();
    ASSERT_FALSE(onClipboard.isNull());
    QImage fromFile;
    ASSERT_TRUE(fromFile.load(bmp));  // read by content
    ASSERT_EQ(fromFile.size(), onClipboard.size());
    EXPECT_EQ(fromFile.convertToFormat(QImage::Format_RGB32),
              onClipboard.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(readFile(bmp).left(2), QByteArray("BM"));
}

TEST_F(Excel1Test, EachFailingStepIsReportedUnderItsOwnName) {
    Excel1::saveCellsActivesheet(nullptr, inTemp("temp.bmp"), dialogs);
    const auto reports = errorReports(dialogs);
    ASSERT_EQ(reports.size(), 3);
    EXPECT_TRUE(
        reports[0].text.contains("in Morrowlin2017/04/05.Excel1.saveCellsActivesheet at line 100"));
    EXPECT_TRUE(reports[1].text.contains("at line 110"));
    EXPECT_TRUE(reports[2].text.contains("at line 112"));
    EXPECT_FALSE(QFile::exists(inTemp("temp.bmp")));
}

TEST_F(Excel1Test, AnUnwritablePictureFileIsReportedForLine112) {
    auto instance = Excel1::openExcelWorkbook(engine, templateCopy());
    Excel1::saveCellsActivesheet(instance->Workbook(1).get(), inTemp("no/such/folder/temp.bmp"),
                                 dialogs);
    const auto reports = errorReports(dialogs);
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].text.contains("at line 112"));
    EXPECT_TRUE(reports[0].text.contains("temp.bmp"));
}

TEST_F(Excel1Test, OpenFailureNamesTheFile) {
    writeFile(inTemp("broken.xls"), "not a workbook at all");
    try {
        Excel1::openExcelWorkbook(engine, inTemp("broken.xls"));
        FAIL() << "expected a failure";
    } catch (const std::exception& e) {
        const QString text = QString::fromUtf8(e.what());
        EXPECT_TRUE(text.startsWith("The spreadsheet engine could not open '")) << e.what();
        EXPECT_TRUE(text.contains("broken.xls")) << e.what();
    }
}

TEST_F(Excel1Test, ObjectsFailCleanlyAfterCloseAndQuit) {
    auto instance = engine.CreateNew();
    auto book = instance->OpenWorkbook(templateCopy());
    book->Close();
    EXPECT_THROW(book->ActiveSheet(), std::exception);
    EXPECT_EQ(instance->WorkbookCount(), 0);
    instance->Quit();
    EXPECT_THROW(instance->WorkbookCount(), std::exception);
    EXPECT_THROW(instance->OpenWorkbook(templateCopy()), std::exception);
    EXPECT_THROW(engine.GetRunning(), std::exception);
}

}  // namespace
