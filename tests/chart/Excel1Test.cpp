#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMap>
#include <QMimeData>
#include <functional>

#include "app/ChartBuild.h"
#include "chart/Excel1.h"
#include "chart/Template.h"
#include "support/BuildFixture.h"

namespace {

class Excel1Test : public BuildFixture {
  protected:
    // The template, written where the build writes it.
    QString templateCopy() {
        const QString path = inTemp(app::kTemplateFileName);
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

// The picture the range puts on the clipboard, as the build's copy takes it.
QImage copiedPicture(chart::SpreadsheetWorkbook& workbook) {
    workbook.ActiveSheet().UsedRange()->CopyPicture();
    return QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
}

TEST_F(Excel1Test, SavedPictureHasTheClipboardsPixels) {
    auto instance = Excel1::openExcelWorkbook(engine, templateCopy());
    ASSERT_EQ(instance->WorkbookCount(), 1);
    const QString bmp = inTemp("temp.bmp");
    Excel1::saveCellsActivesheet(instance->Workbook(1).get(), bmp, dialogs);
    EXPECT_TRUE(dialogs.shown().isEmpty());

    const QImage onClipboard = copiedPicture(*instance->Workbook(1));
    ASSERT_FALSE(onClipboard.isNull());
    QImage fromFile;
    ASSERT_TRUE(fromFile.load(bmp));  // read by content
    ASSERT_EQ(fromFile.size(), onClipboard.size());
    EXPECT_EQ(fromFile.convertToFormat(QImage::Format_RGB32), onClipboard);
    EXPECT_EQ(readFile(bmp).left(2), QByteArray("BM"));
}

// What the user had copied before the picture passed through the clipboard is there again
// afterwards, every format with its bytes; an empty clipboard is empty again.
struct KeptClipboard {
    const char* name;
    std::function<QMimeData*()> content;  // nothing: an empty clipboard
};

class ClipboardLeftAsFound : public Excel1Test,
                             public ::testing::WithParamInterface<KeptClipboard> {};

TEST_P(ClipboardLeftAsFound, EveryFormatComesBack) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    const KeptClipboard& c = GetParam();
    if (c.content)
        clipboard->setMimeData(c.content());
    else
        clipboard->clear();
    QMap<QString, QByteArray> before;
    if (const QMimeData* data = clipboard->mimeData())
        for (const QString& format : data->formats()) before[format] = data->data(format);
    const QImage imageBefore = clipboard->image();

    auto instance = Excel1::openExcelWorkbook(engine, templateCopy());
    const QString bmp = inTemp("temp.bmp");
    Excel1::saveCellsActivesheet(instance->Workbook(1).get(), bmp, dialogs);
    EXPECT_TRUE(dialogs.shown().isEmpty());

    QMap<QString, QByteArray> after;
    if (const QMimeData* data = clipboard->mimeData())
        for (const QString& format : data->formats()) after[format] = data->data(format);
    EXPECT_EQ(after.keys(), before.keys());
    EXPECT_TRUE(after == before);
    EXPECT_EQ(clipboard->image(), imageBefore);
    EXPECT_EQ(QImage(bmp).convertToFormat(QImage::Format_RGB32),
              copiedPicture(*instance->Workbook(1)));
}

INSTANTIATE_TEST_SUITE_P(
    Contents, ClipboardLeftAsFound,
    ::testing::Values(KeptClipboard{"Empty", nullptr},
                      KeptClipboard{"Text",
                                    [] {
                                        auto* data = new QMimeData;
                                        data->setText("DE89 3704 0044 0532 0130 00");
                                        return data;
                                    }},
                      KeptClipboard{"TextHtmlAndAFormatOfItsOwn",
                                    [] {
                                        auto* data = new QMimeData;
                                        data->setText("Savings 25000");
                                        data->setHtml("<b>Savings</b> 25000");
                                        data->setData("application/x-other-program",
                                                      QByteArray("\0\1\2\xff", 4));
                                        return data;
                                    }},
                      KeptClipboard{"AnImage",
                                    [] {
                                        auto* data = new QMimeData;
                                        QImage image(7, 5, QImage::Format_RGB32);
                                        image.fill(qRgb(10, 200, 30));
                                        data->setImageData(image);
                                        return data;
                                    }}),
    [](const auto& info) { return std::string(info.param.name); });

// A clipboard that cannot take the picture (a compositor refusing a program without focus):
// the picture the engine drew is saved all the same, and the user's text stays.
TEST_F(Excel1Test, WhereTheClipboardCannotTakeThePictureTheDrawnOneIsSaved) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("kept");
    auto instance = Excel1::openExcelWorkbook(engine, templateCopy());
    const QImage expected = copiedPicture(*instance->Workbook(1));
    clipboard->setText("kept");
    QObject refusal;
    QObject::connect(clipboard, &QClipboard::dataChanged, &refusal, [clipboard] {
        const QMimeData* data = clipboard->mimeData();
        if (data && data->hasImage()) clipboard->clear();
    });
    const QString bmp = inTemp("temp.bmp");
    Excel1::saveCellsActivesheet(instance->Workbook(1).get(), bmp, dialogs);
    EXPECT_TRUE(dialogs.shown().isEmpty()) << dialogs.shown().value(0).text.toStdString();
    EXPECT_EQ(QImage(bmp).convertToFormat(QImage::Format_RGB32), expected);
    EXPECT_EQ(clipboard->text(), "kept");
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
