#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "app/ChartBuild.h"
#include "chart/Excel1.h"
#include "common/MousePointer.h"
#include "entries/EntryCodec.h"
#include "entries/EntryListModel.h"
#include "platform/Twips.h"
#include "preview/Form2.h"
#include "preview/PictureBox.h"
#include "support/BuildFixture.h"
#include "support/WorkbookReader.h"
#include "xls/Workbook.h"
#include "xls/draw/RangePicture.h"

namespace {

EntryList entriesOf(int count) {
    EntryList list;
    for (int i = 1; i <= count; ++i)
        list.append({QString("Asset %1").arg(i), QString::number(i * 1000 + i)});
    return list;
}

class ChartBuildTest : public BuildFixture {};

class BuildWithEntries : public ChartBuildTest, public ::testing::WithParamInterface<int> {};

TEST_P(BuildWithEntries, FillsTheTemplateAndHandsItToThePreview) {
    if (!haveXlrd()) GTEST_SKIP() << "python3-xlrd is not installed";
    const int count = GetParam();
    const EntryList entries = entriesOf(count);
    startWith(entries);
    build();

    EXPECT_TRUE(errorReports(dialogs).isEmpty())
        << errorReports(dialogs).value(0).text.toStdString();
    Form2* preview = form->previewIfLoaded();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->mousePointer().value(), common::MousePointer::Default);

    // Only the temporary workbook is left in the temporary folder.
    const QString path = preview->mExcelFile;
    EXPECT_TRUE(
        QRegularExpression("^tkvane[1-9]{8}\\.xls$").match(QFileInfo(path).fileName()).hasMatch())
        << path.toStdString();
    EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(tempDir()).absoluteFilePath());
    EXPECT_EQ(filesInTemp(), QStringList({QFileInfo(path).fileName()}));

    // The picture reached the image box.
    const auto* picture1 = preview->findChild<PictureBox*>("Picture1");
    ASSERT_NE(picture1, nullptr);
    EXPECT_FALSE(picture1->picture().isNull() && picture1->drawnImage().isNull());

    // The list was stored with the build.
    EXPECT_EQ(storedList(settingsFile()).value_or("<absent>"), EntryCodec::EncodeEntries(entries));

    QString error;
    const auto book = readWithXlrd(path, &error);
    ASSERT_TRUE(book.has_value()) << error.toStdString();
    EXPECT_EQ(book->sheets, QStringList({"Assets"}));
    EXPECT_EQ(book->cell(2, 0).value.toString(), "Asset Type");
    EXPECT_EQ(book->cell(2, 1).value.toString(), "Amount");
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(book->cell(3 + i, 0).value.toString(), entries[i].label) << "row " << 4 + i;
        EXPECT_EQ(book->cell(3 + i, 1).kind, "number") << "row " << 4 + i;
        EXPECT_DOUBLE_EQ(book->cell(3 + i, 1).value.toDouble(), entries[i].amount.toDouble());
        EXPECT_EQ(book->cell(3 + i, 1).format, app::kAmountFormat) << "row " << 4 + i;
    }
    for (int row = 3 + count; row <= 8; ++row) {
        EXPECT_TRUE(book->cell(row, 0).kind == "empty" || book->cell(row, 0).kind == "blank")
            << "row " << row + 1;
        EXPECT_TRUE(book->cell(row, 1).kind == "empty" || book->cell(row, 1).kind == "blank")
            << "row " << row + 1;
    }

    // The chart reads every entry: values in B, categories in A, from row 4 down.
    const int lastRow = std::max(8, 3 + count - 1);
    int series = 0;
    for (const ChartRef& ref : book->chartRefs) {
        if (ref.id == 1 || ref.id == 2) {
            ++series;
            EXPECT_EQ(ref.firstRow, 3);
            EXPECT_EQ(ref.lastRow, lastRow) << "reference " << ref.id;
            EXPECT_EQ(ref.firstCol, ref.id == 1 ? 1 : 0);
        }
    }
    EXPECT_EQ(series, 2);
}

// The picture of every list size zooms over the whole range: twelve "Zoom In" clicks reach 4.0,
// and fifteen "Zoom Out" clicks from there reach 0.25, each step redrawn at its size.
TEST_P(BuildWithEntries, ThePictureZoomsOverTheWholeRange) {
    startWith(entriesOf(GetParam()));
    build();
    Form2* preview = form->previewIfLoaded();
    ASSERT_NE(preview, nullptr);
    const auto* picture1 = preview->findChild<PictureBox*>("Picture1");
    const preview::Viewport& viewport = preview->viewport();
    ASSERT_GT(viewport.mBaseWidth, 0);
    struct Row {
        const char* button;
        int clicks;
        float zoom;
    };
    const Row rows[] = {{"PushButton1", 12, 4.0f}, {"PushButton2", 15, 0.25f}};
    for (const Row& r : rows) {
        for (int i = 0; i < r.clicks; ++i) preview->findChild<QPushButton*>(r.button)->click();
        EXPECT_EQ(viewport.mZoom, r.zoom);
        const QSize size(platform::twipsToPixels(std::floor(r.zoom * viewport.mBaseWidth)),
                         platform::twipsToPixels(std::floor(r.zoom * viewport.mBaseHeight)));
        EXPECT_EQ(picture1->size(), size) << r.zoom;
        EXPECT_EQ(picture1->drawnImage().size(), size) << r.zoom;
    }
    EXPECT_TRUE(errorReports(dialogs).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Counts, BuildWithEntries, ::testing::Values(0, 3, 6, 7, 40));

// Each bar's position, times the twips a position moves, is where the image's edge lies: within
// one pixel (the box is placed in whole pixels).
void expectThumbsOnTheView(Form2& preview, const char* after) {
    const auto* picture1 = preview.findChild<PictureBox*>("Picture1");
    const auto* hScroll = preview.findChild<QScrollBar*>("HScroll1");
    const auto* vScroll = preview.findChild<QScrollBar*>("VScroll1");
    const preview::Viewport& viewport = preview.viewport();
    struct Axis {
        const QScrollBar* bar;
        int step;
        int edge;  // pixels
    };
    for (const Axis& a : {Axis{hScroll, viewport.mHStep, picture1->x()},
                          Axis{vScroll, viewport.mVStep, picture1->y()}}) {
        const double edgeTwips = -platform::pixelsToTwips(a.edge);
        EXPECT_NEAR(double(a.bar->value()) * a.step, edgeTwips, platform::twipsPerPixel())
            << a.bar->objectName().toStdString() << " after " << after << ": position "
            << a.bar->value() << " of " << a.bar->maximum();
    }
}

// 5,000 entries make a picture far beyond the zoom bound: "Zoom Out" still steps down to 0.25,
// and the thumbs show the view after every zoom, scroll and drag.
TEST_F(ChartBuildTest, AFiveThousandEntryPictureZoomsOutWithTheThumbsOnTheView) {
    startWith(entriesOf(5000));
    build();
    Form2* preview = form->previewIfLoaded();
    ASSERT_NE(preview, nullptr);
    auto* picture1 = preview->findChild<PictureBox*>("Picture1");
    auto* vScroll = preview->findChild<QScrollBar*>("VScroll1");
    const preview::Viewport& viewport = preview->viewport();
    ASSERT_GE(viewport.mBaseHeight / platform::twipsPerPixel(), 9000);
    expectThumbsOnTheView(*preview, "the set-up");
    vScroll->setValue(vScroll->maximum() / 3);
    expectThumbsOnTheView(*preview, "a scroll");
    for (float zoom : {0.75f, 0.5f, 0.25f}) {
        preview->findChild<QPushButton*>("PushButton2")->click();
        EXPECT_EQ(viewport.mZoom, zoom);
        EXPECT_EQ(picture1->height(),
                  platform::twipsToPixels(std::floor(zoom * viewport.mBaseHeight)));
        EXPECT_EQ(vScroll->value(), 0) << zoom;
        EXPECT_EQ(picture1->pos(), QPoint(0, 0)) << zoom;
        expectThumbsOnTheView(*preview, "a zoom");
        vScroll->setValue(vScroll->maximum() / 2 + 1);
        expectThumbsOnTheView(*preview, "a scroll");
    }
    // The picture is cut at 16384 pixels: 0.5 is within the bound, 0.75 beyond it.
    for (float zoom : {0.5f, 0.5f}) {
        preview->findChild<QPushButton*>("PushButton1")->click();
        EXPECT_EQ(viewport.mZoom, zoom);
        expectThumbsOnTheView(*preview, "Zoom In");
    }

    const QPoint press(50, 400);
    for (const int dy : {-37, 215, -1200}) {
        QMouseEvent down(QEvent::MouseButtonPress, press, picture1->mapToGlobal(press),
                         Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(picture1, &down);
        const QPoint to = press + QPoint(0, dy);
        QMouseEvent move(QEvent::MouseMove, to, picture1->mapToGlobal(to), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(picture1, &move);
        const int dropped = picture1->y();
        QMouseEvent up(QEvent::MouseButtonRelease, to, picture1->mapToGlobal(to), Qt::LeftButton,
                       Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(picture1, &up);
        EXPECT_NEAR(picture1->y(), dropped, 1) << dy;
        expectThumbsOnTheView(*preview, "a drag");
    }
    EXPECT_TRUE(errorReports(dialogs).isEmpty());
}

// The pie shows at most 3,999 entries, the table every one: a longer list is told once, in a
// message box with the application title, and the build goes on as ever.
class BuildPastTheChart : public ChartBuildTest,
                          public ::testing::WithParamInterface<std::pair<int, QString>> {};

TEST_P(BuildPastTheChart, TellsOnceThatThePieShowsTheFirst3999) {
    if (!haveXlrd()) GTEST_SKIP() << "python3-xlrd is not installed";
    const auto& [count, message] = GetParam();
    startWith(entriesOf(count));
    build();
    EXPECT_TRUE(errorReports(dialogs).isEmpty())
        << errorReports(dialogs).value(0).text.toStdString();
    const auto messages = dialogs.messages();
    ASSERT_EQ(messages.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        EXPECT_EQ(messages[0].text, message);
        EXPECT_EQ(messages[0].style, platform::kOkOnly);
        EXPECT_EQ(messages[0].title, platform::Dialogs::applicationTitle());
        EXPECT_FALSE(messages[0].title.isEmpty());
    }
    Form2* preview = form->previewIfLoaded();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisible());
    const auto book = readWithXlrd(preview->mExcelFile);
    ASSERT_TRUE(book.has_value());
    EXPECT_EQ(book->cell(3 + count - 1, 0).value.toString(), QString("Asset %1").arg(count));
    int series = 0;
    for (const ChartRef& ref : book->chartRefs) {
        if (ref.id != 1 && ref.id != 2) continue;
        ++series;
        EXPECT_EQ(ref.firstRow, 3);
        EXPECT_EQ(ref.lastRow, 3 + std::min(count, 3999) - 1) << "reference " << ref.id;
    }
    EXPECT_EQ(series, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, BuildPastTheChart,
    ::testing::Values(
        std::pair<int, QString>{3999, QString()},
        std::pair<int, QString>{
            4000, "The chart shows the first 3,999 entries; the table holds all 4,000 entries."},
        std::pair<int, QString>{
            5000, "The chart shows the first 3,999 entries; the table holds all 5,000 entries."}),
    [](const auto& info) { return "Entries" + std::to_string(info.param.first); });

// The picture is drawn at the screen's device pixel ratio and tagged with it, so the Preview
// shows it sharp at its logical size: at a scale factor of 2 its pixels are those of the range
// drawn at 192 dots per inch, not a 96-DPI picture enlarged. (CTest runs this at scale factors
// 1, 1.25 and 2.)
TEST_F(ChartBuildTest, ThePictureIsDrawnAtTheScreensPixelRatio) {
    startWith(entriesOf(6));
    build();
    Form2* preview = form->previewIfLoaded();
    ASSERT_NE(preview, nullptr);
    ASSERT_TRUE(errorReports(dialogs).isEmpty());
    const double ratio = platform::pictureScale();
    const auto* picture1 = preview->findChild<PictureBox*>("Picture1");
    const QImage shown = preview->findChild<PictureBox*>("Zoom_Ori")->picture();  // unscaled
    ASSERT_FALSE(shown.isNull());
    EXPECT_DOUBLE_EQ(shown.devicePixelRatio(), ratio);

    const xls::Workbook book = xls::Workbook::open(preview->mExcelFile.toStdString());
    const auto used = book.sheet(book.activeSheetIndex()).usedRange();
    ASSERT_TRUE(used.has_value());
    xls::draw::PictureOptions options;
    options.dpi = platform::logicalDpi() * ratio;
    const QImage expected = xls::draw::drawRange(book, book.activeSheetIndex(), *used, options);
    ASSERT_EQ(shown.size(), expected.size()) << "at a pixel ratio of " << ratio;
    EXPECT_TRUE(shown.convertToFormat(QImage::Format_RGB32) ==
                expected.convertToFormat(QImage::Format_RGB32));
    // Sizes stay logical: the box is the picture's size at the ratio, and a zoom step scales the
    // device pixels with it.
    EXPECT_EQ(picture1->size(), (QSizeF(expected.size()) / ratio).toSize());
    preview->findChild<QPushButton*>("PushButton1")->click();
    const QImage zoomed = picture1->drawnImage();
    EXPECT_DOUBLE_EQ(zoomed.devicePixelRatio(), ratio);
    EXPECT_EQ(zoomed.size(), (QSizeF(picture1->size()) * ratio).toSize());
}

TEST_F(ChartBuildTest, AnAmountThatIsNoNumberIsWrittenUnchanged) {
    if (!haveXlrd()) GTEST_SKIP() << "python3-xlrd is not installed";
    startWith({{"Odd", "about 5"}, {"Car", "$7,500"}});
    build();
    const auto book = readWithXlrd(form->previewIfLoaded()->mExcelFile);
    ASSERT_TRUE(book.has_value());
    EXPECT_EQ(book->cell(3, 1).kind, "string");
    EXPECT_EQ(book->cell(3, 1).value.toString(), "about 5");
    EXPECT_EQ(book->cell(4, 1).kind, "number");
    EXPECT_DOUBLE_EQ(book->cell(4, 1).value.toDouble(), 7500);
}

TEST_F(ChartBuildTest, ATemplateLeftInTheTemporaryFolderIsUsedThenDeleted) {
    if (!haveXlrd()) GTEST_SKIP() << "python3-xlrd is not installed";
    QFile resource(":/Pie Chart.xlt");
    ASSERT_TRUE(resource.open(QIODevice::ReadOnly));
    const QByteArray bytes = resource.readAll();
    xls::Workbook custom =
        xls::Workbook::fromBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()), "Pie Chart.xlt");
    custom.activeSheet().setValue(2, 0, "Left behind");
    custom.saveAs(QFile::encodeName(inTemp("Pie Chart.xlt")).toStdString());

    startWith({{"Car", "7500"}});
    build();
    EXPECT_TRUE(errorReports(dialogs).isEmpty());
    EXPECT_FALSE(QFile::exists(inTemp("Pie Chart.xlt")));
    const auto book = readWithXlrd(form->previewIfLoaded()->mExcelFile);
    ASSERT_TRUE(book.has_value());
    EXPECT_EQ(book->cell(2, 0).value.toString(), "Left behind");
}

TEST_F(ChartBuildTest, ANameThatExistsIsDrawnAgainWhole) {
    // The first draw is the start's web-site draw; then r = 0.0 gives the digit 1, r = 0.15 the
    // digit 2.
    random.queue(0.5);
    for (int i = 0; i < 8; ++i) random.queue(0.0);
    for (int i = 0; i < 8; ++i) random.queue(0.15);
    writeFile(inTemp("tkvane11111111.xls"), "someone else's file");
    startWith({{"Car", "7500"}});
    build();
    EXPECT_EQ(QFileInfo(form->previewIfLoaded()->mExcelFile).fileName(), "tkvane22222222.xls");
    EXPECT_EQ(readFile(inTemp("tkvane11111111.xls")), QByteArray("someone else's file"));
    EXPECT_EQ(random.reseeds(), 1 + 16);
}

TEST(WorkbookName, EightDigitsOneToNine) {
    platform::ScriptedRandom random;
    for (double r : {0.0, 0.1111, 0.1112, 0.5, 0.8888, 0.8889, 0.999999, 0.3}) random.queue(r);
    EXPECT_EQ(app::ChartBuild::drawWorkbookName(random), "tkvane11258993");
    EXPECT_EQ(random.reseeds(), 8);
}

TEST_F(ChartBuildTest, NoAtTheRunningExcelWarningChangesNothing) {
    spreadsheets = &runningExcel;
    startWith({{"Car", "7500"}});
    dialogs.queueAnswer(platform::kAnswerNo);
    build();
    ASSERT_EQ(dialogs.messages().size(), 1);
    const auto& box = dialogs.messages()[0];
    EXPECT_EQ(box.text, Excel1::runningWarningText());
    EXPECT_EQ(box.style, platform::kYesNo);
    EXPECT_EQ(box.title, "Morrowlin");
    EXPECT_EQ(runningExcel.created, 0);
    EXPECT_TRUE(filesInTemp().isEmpty());
    EXPECT_FALSE(storedList(settingsFile()).has_value());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->previewIfLoaded(), nullptr);
    EXPECT_EQ(form->mousePointer().value(), common::MousePointer::Default);
}

TEST_F(ChartBuildTest, YesAtTheRunningExcelWarningBuilds) {
    spreadsheets = &runningExcel;
    startWith({{"Car", "7500"}});
    dialogs.queueAnswer(platform::kAnswerYes);
    build();
    EXPECT_EQ(runningExcel.created, 2);
    ASSERT_NE(form->previewIfLoaded(), nullptr);
    EXPECT_TRUE(QFile::exists(form->previewIfLoaded()->mExcelFile));
}

TEST(RunningWarning, HasTheExactText) {
    EXPECT_EQ(Excel1::runningWarningText(),
              "Excel may be open. It is recommended that you close Excel first.\r"
              "Use Ctrl+Alt+Del > Task Manager > EXCEL.EXE if necessary.\r\n\r\n"
              "Would you like to proceed anyway?");
}

TEST_F(ChartBuildTest, BackThenABuildAgainShowsTheNewWorkbookAndLeavesNoFile) {
    startWith(entriesOf(3));
    build();
    Form2* preview = form->previewIfLoaded();
    ASSERT_NE(preview, nullptr);
    const QString first = preview->mExcelFile;
    preview->PushButton8_Click();
    EXPECT_FALSE(QFile::exists(first));
    EXPECT_TRUE(filesInTemp().isEmpty());
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(preview->isVisible());

    form->entries().appendAll(entriesOf(30));
    for (int i = 0; i < 8; ++i) random.queue(0.0);  // a name other than the first build's
    build();
    EXPECT_EQ(form->previewIfLoaded(), preview);  // the same window, loaded once
    EXPECT_NE(preview->mExcelFile, first);
    EXPECT_TRUE(QFile::exists(preview->mExcelFile));
    EXPECT_EQ(filesInTemp(), QStringList({QFileInfo(preview->mExcelFile).fileName()}));
    EXPECT_TRUE(errorReports(dialogs).isEmpty());
}

TEST_F(ChartBuildTest, ClosingThePreviewLeavesNoFileAndDoesNotStoreAgain) {
    startWith(entriesOf(2));
    build();
    Form2* preview = form->previewIfLoaded();
    ASSERT_NE(preview, nullptr);
    const QString storedAtBuild = storedList(settingsFile()).value_or("<absent>");
    form->entries().clear();  // what the hidden main window holds is not stored again
    preview->close();
    EXPECT_TRUE(filesInTemp().isEmpty());
    EXPECT_EQ(storedList(settingsFile()).value_or("<absent>"), storedAtBuild);
}

// Pending events run while the template is written; a second press seen then is ignored.
TEST_F(ChartBuildTest, ASecondPressDuringABuildIsIgnored) {
    startWith({{"Car", "7500"}});
    int pressesSeen = 0;
    QTimer::singleShot(0, form.get(), [&] {
        ++pressesSeen;
        build();
    });
    build();
    EXPECT_EQ(pressesSeen, 1);
    EXPECT_TRUE(errorReports(dialogs).isEmpty());
    ASSERT_NE(form->previewIfLoaded(), nullptr);
    EXPECT_EQ(filesInTemp(),
              QStringList({QFileInfo(form->previewIfLoaded()->mExcelFile).fileName()}));
}

// Pending events run inside the build; a close of the main window, or the end of the session,
// seen then takes effect when the build has finished: the Preview closes as the user would close
// it, its workbook is deleted, and the list stays stored.
TEST_F(ChartBuildTest, ACloseDuringABuildTakesEffectWhenTheBuildHasFinished) {
    for (const bool sessionEnd : {false, true}) {
        SCOPED_TRACE(sessionEnd ? "end of the session" : "close of the main window");
        startWith({{"Car", "7500"}, {"Bonds", "11000"}});
        QTimer::singleShot(0, form.get(), [&] {
            if (sessionEnd)
                form->endProgram();
            else
                form->close();
        });
        build();
        Form2* preview = form->previewIfLoaded();
        ASSERT_NE(preview, nullptr);
        EXPECT_FALSE(preview->isVisible());
        EXPECT_TRUE(filesInTemp().isEmpty()) << filesInTemp().join(", ").toStdString();
        EXPECT_EQ(storedList(settingsFile()).value_or("<absent>"),
                  EntryCodec::EncodeEntries({{"Car", "7500"}, {"Bonds", "11000"}}));
        EXPECT_TRUE(errorReports(dialogs).isEmpty());
        form.reset();
        QFile::remove(settingsFile());
    }
}

// The end of the session (or a termination signal) acts as a close of the shown window.
TEST_F(ChartBuildTest, TheEndOfTheSessionStoresTheListOrDeletesThePreviewsWorkbook) {
    startWith({{"Car", "7500"}});
    form->entries().appendAll({{"Boat", "300"}});
    form->endProgram();
    EXPECT_EQ(storedList(settingsFile()).value_or("<absent>"),
              EntryCodec::EncodeEntries({{"Car", "7500"}, {"Boat", "300"}}));

    startWith({{"Car", "7500"}});
    build();
    Form2* preview = form->previewIfLoaded();
    ASSERT_NE(preview, nullptr);
    ASSERT_TRUE(preview->isVisible());
    ASSERT_EQ(filesInTemp().size(), 1);
    form->endProgram();
    EXPECT_TRUE(filesInTemp().isEmpty());
    EXPECT_FALSE(preview->isVisible());
    EXPECT_TRUE(errorReports(dialogs).isEmpty());
}

TEST_F(ChartBuildTest, ADamagedTemplateIsReportedAndTheBuildGoesOn) {
    writeFile(inTemp("Pie Chart.xlt"), QByteArray(4096, 'x'));
    startWith({{"Car", "7500"}});
    build();
    const auto reports = errorReports(dialogs);
    ASSERT_FALSE(reports.isEmpty());
    EXPECT_TRUE(reports[0].text.contains("Pie Chart.xlt"));
    EXPECT_TRUE(reports[0].text.contains("Form1.PushButton1_Click at line 110"))
        << reports[0].text.toStdString();
    // The build went on to its end: the preview shows, the list is stored, nothing is left.
    ASSERT_NE(form->previewIfLoaded(), nullptr);
    EXPECT_TRUE(form->previewIfLoaded()->isVisible());
    EXPECT_EQ(storedList(settingsFile()).value_or("<absent>"),
              EntryCodec::EncodeEntries({{"Car", "7500"}}));
    EXPECT_FALSE(QFile::exists(inTemp("Pie Chart.xlt")));
    EXPECT_FALSE(QFile::exists(inTemp("temp.bmp")));
    EXPECT_EQ(form->mousePointer().value(), common::MousePointer::Default);
}

}  // namespace

namespace {

// A picture no build ever draws: one plain colour.
QImage foreignPicture() {
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(QColor(200, 30, 40));
    return picture;
}

struct EarlierPicture {
    const char* what;
    bool buildBefore;  // a good build, then "< Back"
    bool leftFile;     // a picture file left as "temp.bmp"
    bool leftFolder;   // a folder named "temp.bmp", which cannot be removed as a file
    int failingLine;   // the step reported for the missing picture
};

void PrintTo(const EarlierPicture& row, std::ostream* out) { *out << row.what; }

class FailedPicture : public ChartBuildTest,
                      public ::testing::WithParamInterface<EarlierPicture> {};

}  // namespace

// A build whose picture step fails shows an empty picture area: neither the previous build's
// picture nor a "temp.bmp" that something else left in the temporary folder.
TEST_P(FailedPicture, ShowsNoEarlierPicture) {
    const EarlierPicture& r = GetParam();
    startWith(entriesOf(6));
    if (r.buildBefore) {
        build();
        ASSERT_TRUE(errorReports(dialogs).isEmpty());
        const auto* shown = form->previewIfLoaded()->findChild<PictureBox*>("Picture1");
        ASSERT_FALSE(shown->picture().isNull() && shown->drawnImage().isNull());
        form->previewIfLoaded()->PushButton8_Click();
    }
    if (r.leftFile) {
        ASSERT_TRUE(foreignPicture().save(inTemp("temp.bmp"), "BMP"));
    }
    if (r.leftFolder) {
        ASSERT_TRUE(QDir(tempDir()).mkpath("temp.bmp/inside"));
    }
    writeFile(inTemp("Pie Chart.xlt"), QByteArray(4096, 'x'));  // the sheet cannot be opened
    build();

    const auto reports = errorReports(dialogs);
    const QString at = QString("Form1.PushButton1_Click at line %1").arg(r.failingLine);
    EXPECT_TRUE(std::any_of(reports.begin(), reports.end(), [&](const auto& shown) {
        return shown.text.contains(at);
    })) << at.toStdString();
    Form2* preview = form->previewIfLoaded();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisible());
    const auto* picture1 = preview->findChild<PictureBox*>("Picture1");
    ASSERT_NE(picture1, nullptr);
    EXPECT_TRUE(picture1->picture().isNull());
    EXPECT_TRUE(picture1->drawnImage().isNull());
    EXPECT_EQ(picture1->size(), QSize(0, 0));
    EXPECT_EQ(QFileInfo(inTemp("temp.bmp")).isFile(), false);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedPicture,
    ::testing::Values(EarlierPicture{"AfterAGoodBuild", true, false, false, 194},
                      EarlierPicture{"WithAPictureFileLeft", false, true, false, 194},
                      EarlierPicture{"AfterAGoodBuildWithAPictureFileLeft", true, true, false, 194},
                      EarlierPicture{"WithAFolderInItsPlace", true, false, true, 184}),
    [](const auto& info) { return std::string(info.param.what); });
