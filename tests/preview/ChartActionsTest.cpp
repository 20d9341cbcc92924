// The picture's chart commands on a real workbook: the sheet with its chart in the picture's
// place and back, and the chart alone saved as PNG, SVG or PDF.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QPushButton>

#include "PreviewFixture.h"
#include "platform/Twips.h"
#include "preview/ChartActions.h"
#include "preview/PictureBox.h"
#include "xls/Workbook.h"
#include "xls/draw/ChartPicture.h"
#include "xls/draw/RangePicture.h"

namespace {

class ChartCommands : public PreviewFixture {
  protected:
    void SetUp() override {
        PreviewFixture::SetUp();
        // The template filled with nine entries and saved, as the build leaves it.
        xls::Workbook book =
            xls::Workbook::open(std::string(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt");
        const char* const labels[] = {"Savings", "401k", "Stocks", "House", "Bonds",
                                      "Car",     "Gold", "Art",    "Cash"};
        for (int i = 0; i < 9; ++i) {
            book.activeSheet().setValue(3 + i, 0, labels[i]);
            book.activeSheet().setValue(3 + i, 1, std::to_string((i + 2) * 1000));
        }
        path = QDir(tempDir()).filePath("tkchart.xlt");
        book.saveAs(path.toStdString());
        const xls::Workbook saved = xls::Workbook::open(path.toStdString());
        xls::draw::PictureOptions options;
        options.dpi = platform::logicalDpi() * platform::pictureScale();
        usedRange = xls::draw::drawRange(saved, 0, *saved.sheet(0).usedRange(), options);
        sheet = xls::draw::drawSheet(saved, 0, options);
        usedRange.setDevicePixelRatio(platform::pictureScale());
        sheet.setDevicePixelRatio(platform::pictureScale());
        form->mExcelFile = path;
        showWith(usedRange);
    }
    void run(const char* name) { control<QAction>(name)->trigger(); }
    QImage shown() const { return control<PictureBox>("Zoom_Ori")->picture(); }
    QSize imageBox() const { return control<PictureBox>("Picture1")->size(); }

    QString path;
    QImage usedRange, sheet;
};

bool samePixels(const QImage& a, const QImage& b) {
    return a.size() == b.size() &&
           a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

}  // namespace

TEST_F(ChartCommands, SheetWithChartAndBack) {
    ASSERT_GT(sheet.width(), usedRange.width());
    EXPECT_TRUE(samePixels(shown(), usedRange)) << "the used range is shown first";
    run("ShowSheetWithChart");
    EXPECT_TRUE(samePixels(shown(), sheet));
    EXPECT_EQ(imageBox(), sheet.deviceIndependentSize().toSize()) << "at zoom 1";
    control<QPushButton>("PushButton1")->click();  // zoom in works on it
    EXPECT_GT(imageBox().width(), sheet.deviceIndependentSize().width());
    run("ShowUsedRange");
    EXPECT_TRUE(samePixels(shown(), usedRange));
    EXPECT_EQ(imageBox(), usedRange.deviceIndependentSize().toSize());
    // A new build's picture replaces the sheet's: "Show Used Range" leaves it alone.
    run("ShowSheetWithChart");
    const QImage rebuilt = usedRange.copy(0, 0, usedRange.width(), usedRange.height() - 1);
    form->loadPicture(rebuilt);
    run("ShowUsedRange");
    EXPECT_TRUE(samePixels(shown(), rebuilt));
    EXPECT_TRUE(dialogs.messages().isEmpty());
}

TEST_F(ChartCommands, SaveChartPicture) {
    struct Row {
        QString chosen;  // "" cancels
        bool existing;
        int answer;        // to the overwrite question
        QString written;   // the file that must hold the chart, or ""
        QByteArray start;  // how it begins
    };
    const QString dir = tempDir();
    const Row rows[] = {
        {"", false, 0, "", ""},
        {dir + "/a.png", false, 0, dir + "/a.png", "\x89PNG"},
        {dir + "/b.svg", false, 0, dir + "/b.svg", "<?xml"},
        {dir + "/c.pdf", false, 0, dir + "/c.pdf", "%PDF"},
        {dir + "/d", false, 0, dir + "/d.png", "\x89PNG"},
        {dir + "/e.pdf", true, platform::kAnswerNo, "", ""},
        {dir + "/f.pdf", true, platform::kAnswerYes, dir + "/f.pdf", "%PDF"},
    };
    for (const Row& row : rows) {
        dialogs.clear();
        if (row.existing) {
            QFile old(row.chosen);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        dialogs.queueSaveName(row.chosen);
        if (row.existing) dialogs.queueAnswer(row.answer);
        run("SaveChartPictureAs");
        ASSERT_FALSE(dialogs.shown().isEmpty());
        EXPECT_EQ(dialogs.shown().front().title, "Save Chart Picture As");
        EXPECT_EQ(dialogs.messages().size(), row.existing ? 1 : 0) << row.chosen.toStdString();
        if (row.existing && row.answer == platform::kAnswerNo) {
            QFile kept(row.chosen);
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), QByteArray("old"));
        }
        if (row.written.isEmpty()) continue;
        QFile file(row.written);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << row.written.toStdString();
        EXPECT_TRUE(file.readAll().startsWith(row.start)) << row.written.toStdString();
    }
    // A workbook without a chart: told, nothing written.
    form->mExcelFile = QString(MORROWLIN_SOURCE_DIR) + "/tests/data/table.xls";
    dialogs.clear();
    dialogs.queueSaveName(dir + "/none.png");
    run("SaveChartPictureAs");
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_EQ(dialogs.messages().front().text,
              "The sheet has no chart to save. The chart picture was not saved.");
    EXPECT_FALSE(QFile::exists(dir + "/none.png"));
}
