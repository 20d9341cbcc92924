// The chart painter: the template's chart as its records describe it, the goldens of the template
// filled with 1, 6, 9 and 40 entries, the points it leaves out, and charts it does not draw.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "PictureTestSupport.h"
#include "xls/Bytes.h"
#include "xls/Workbook.h"
#include "platform/OutputDevices.h"
#include "xls/draw/ChartFile.h"
#include "xls/draw/ChartPainter.h"
#include "xls/draw/ChartPicture.h"
#include "xls/draw/ChartReader.h"
#include "xls/draw/FontCache.h"

using picturetest::dataFile;
using picturetest::differingPixels;
using picturetest::templateFile;

namespace {

// The accounting format the program gives every amount.
const char* const kAmountFormat = "_($* #,##0_);_($* (#,##0);_($* \"-\"??_);_(@_)";

struct Entry {
    std::string label, amount;
};

// The entries of tests/data/chart-entries.tsv (label, tab, amount), the first `count`.
std::vector<Entry> chartEntries(size_t count) {
    std::ifstream in(dataFile("chart-entries.tsv"));
    std::vector<Entry> entries;
    std::string line;
    while (entries.size() < count && std::getline(in, line)) {
        const size_t tab = line.find('\t');
        entries.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }
    return entries;
}

// The template filled as the program fills it: the sample rows cleared, the entries written
// from row 4 with the accounting format, saved and read back (the chart's references follow the
// rows written when the workbook is saved).
xls::Workbook filledTemplate(const std::vector<Entry>& entries) {
    xls::Workbook book = xls::Workbook::open(templateFile());
    xls::Sheet& sheet = book.activeSheet();
    for (int row = 3; row <= 8; ++row) {
        sheet.setValue(row, 0, "");
        sheet.setValue(row, 1, "");
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        sheet.setValue(int(3 + i), 0, entries[i].label);
        sheet.setValue(int(3 + i), 1, entries[i].amount);
        sheet.setNumberFormat(int(3 + i), 1, kAmountFormat);
    }
    return xls::Workbook::fromBytes(book.toBytes(false), "filled.xls");
}

// The painter's slices of the first chart of the active sheet, painted at 96 DPI.
std::vector<xls::draw::ChartPainter::Slice> slicesOf(const xls::Workbook& book) {
    const std::vector<xls::draw::ChartObject> charts =
        xls::draw::readCharts(book, book.activeSheetIndex());
    if (charts.empty()) return {};
    xls::draw::FontCache fonts(book.styles(), 96.0);
    xls::draw::ChartPainter painter(charts.front(), fonts, 96.0);
    QImage image(865, 465, QImage::Format_RGB32);
    QPainter p(&image);
    painter.paint(p, QRectF(0, 0, 865, 465));
    return painter.slices();
}

}  // namespace

// The template's chart as its records hold it.
TEST(ChartReaderTest, TemplateChart) {
    const xls::Workbook book = xls::Workbook::open(templateFile());
    const std::vector<xls::draw::ChartObject> charts = xls::draw::readCharts(book, 0);
    ASSERT_EQ(charts.size(), 1u);
    const xls::draw::ChartObject& chart = charts[0];
    EXPECT_EQ(chart.kind, xls::draw::ChartKind::Pie3D);
    EXPECT_EQ(chart.kindName, "3-D pie");
    ASSERT_TRUE(chart.anchor.has_value());
    EXPECT_EQ(chart.anchor->firstCol, 2);  // C3 to O26
    EXPECT_EQ(chart.anchor->firstRow, 2);
    EXPECT_EQ(chart.anchor->lastCol, 14);
    EXPECT_EQ(chart.anchor->lastRow, 25);
    EXPECT_EQ(chart.firstSliceDegrees, 210);
    EXPECT_EQ(chart.elevationDegrees, 30);
    EXPECT_TRUE(chart.shadow);
    EXPECT_TRUE(chart.leaderLines);
    EXPECT_FALSE(chart.legend);
    ASSERT_TRUE(chart.title.has_value());
    EXPECT_EQ(chart.title->text, "My Assets");
    EXPECT_EQ(book.styles().font(chart.title->fontIndex).heightTwips, 18 * 20);
    EXPECT_TRUE(book.styles().font(chart.title->fontIndex).bold());

    const char* const names[] = {"Savings", "401k", "Stocks", "House", "Bonds", "Car"};
    const double amounts[] = {25000, 55000, 15000, 250000, 11000, 7500};
    const xls::Rgb fills[] = {{0x00, 0x45, 0x86}, {0xFF, 0x42, 0x0E}, {0xFF, 0xD3, 0x20},
                              {0x57, 0x9D, 0x1C}, {0x7E, 0x00, 0x21}, {0x83, 0xCA, 0xFF}};
    ASSERT_EQ(chart.points.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        const xls::draw::PiePoint& p = chart.points[i];
        EXPECT_EQ(p.category, names[i]) << i;
        EXPECT_EQ(p.value, amounts[i]) << i;
        EXPECT_TRUE(p.fill.color == fills[i]) << i;
        EXPECT_FALSE(p.border.visible) << i;
        EXPECT_EQ(p.explosionPercent, 10) << i;
        EXPECT_TRUE(p.label.category && p.label.percent && !p.label.value) << i;
        EXPECT_EQ(book.styles().font(p.labelText.fontIndex).heightTwips, 13 * 20) << i;
        EXPECT_TRUE(book.styles().font(p.labelText.fontIndex).bold()) << i;
    }
}

// Points without a number or of 0 are left out, a negative amount counts as its absolute value;
// the slices follow one another clockwise from the first slice angle, each label as its flags say.
TEST(ChartPainterTest, PointsLeftOutAndSlices) {
    struct Case {
        std::vector<Entry> entries;
        std::vector<size_t> drawn;
        std::vector<double> sweeps;
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        {{{"A", "1"}, {"B", "3"}}, {0, 1}, {90, 270}, {"A 25%", "B 75%"}},
        {{{"A", "100"}, {"Zero", "0"}, {"Empty", ""}, {"Neg", "-300"}, {"Text", "abc"}},
         {0, 3},
         {90, 270},
         {"A 25%", "Neg 75%"}},
        {{{"Only", "5"}}, {0}, {360}, {"Only 100%"}},
        {{{"Zero", "0"}}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        const std::vector<xls::draw::ChartPainter::Slice> slices =
            slicesOf(filledTemplate(c.entries));
        ASSERT_EQ(slices.size(), c.drawn.size()) << c.entries.front().label;
        double at = 210;
        for (size_t k = 0; k < slices.size(); ++k) {
            EXPECT_EQ(slices[k].point, c.drawn[k]);
            EXPECT_NEAR(slices[k].start, at, 1e-9);
            EXPECT_NEAR(slices[k].sweep, c.sweeps[k], 1e-9);
            EXPECT_EQ(slices[k].label.toStdString(), c.labels[k]);
            at += slices[k].sweep;
        }
    }
}

// Labels of many small slices are moved apart: no two label boxes overlap, all inside the chart.
TEST(ChartPainterTest, LabelsDoNotOverlap) {
    for (size_t count : {9u, 40u}) {
        const std::vector<xls::draw::ChartPainter::Slice> slices =
            slicesOf(filledTemplate(chartEntries(count)));
        ASSERT_EQ(slices.size(), count);
        for (size_t i = 0; i < slices.size(); ++i) {
            EXPECT_TRUE(QRectF(0, 0, 865, 465).contains(slices[i].labelBox)) << count << " " << i;
            for (size_t j = i + 1; j < slices.size(); ++j)
                EXPECT_FALSE(slices[i].labelBox.intersects(slices[j].labelBox))
                    << count << ": " << slices[i].label.toStdString() << " and "
                    << slices[j].label.toStdString();
        }
    }
}

// A chart of another kind is named and never drawn: the template's pie turned into a 3-D bar
// chart (its PIE record replaced by a BAR record of the same size).
TEST(ChartPictureTest, OtherKindsAreLeftOut) {
    std::vector<uint8_t> bytes = xls::Workbook::open(templateFile()).toBytes();
    const uint8_t pie[] = {0x19, 0x10, 0x06, 0x00, 0xD2, 0x00, 0x00, 0x00, 0x03, 0x00};
    const auto at = std::search(bytes.begin(), bytes.end(), std::begin(pie), std::end(pie));
    ASSERT_NE(at, bytes.end());
    const uint8_t bar[] = {0x17, 0x10, 0x06, 0x00, 0x00, 0x00, 0x96, 0x00, 0x00, 0x00};
    std::copy(std::begin(bar), std::end(bar), at);
    const xls::Workbook book = xls::Workbook::fromBytes(bytes, "bar.xlt");
    const std::vector<xls::draw::ChartObject> charts = xls::draw::readCharts(book, 0);
    ASSERT_EQ(charts.size(), 1u);
    EXPECT_EQ(charts[0].kindName, "3-D bar");
    EXPECT_TRUE(xls::draw::drawChart(book, 0, 0).isNull());
    std::vector<std::string> leftOut;
    const QImage sheet = xls::draw::drawSheet(book, 0, {}, &leftOut);
    EXPECT_EQ(leftOut, std::vector<std::string>{"3-D bar"});
    const xls::Workbook pieBook = xls::Workbook::open(templateFile());
    const QImage withPie = xls::draw::drawSheet(pieBook, 0);
    ASSERT_EQ(sheet.size(), withPie.size());
    // Without the pie, the sheet is the cells alone: no pixel of the pie's colours.
    const xls::CellRange whole{0, 0, 25, 14};
    EXPECT_EQ(differingPixels(sheet, xls::draw::drawRange(book, 0, whole), 0), 0);
    EXPECT_GT(differingPixels(withPie, xls::draw::drawRange(pieBook, 0, whole), 0), 10000);
}

// Every sheet of every reference workbook is drawn with its charts, whatever they hold.
TEST(ChartPictureTest, EveryReferenceWorkbook) {
    for (const std::string& name : picturetest::referenceWorkbooks()) {
        std::optional<xls::Workbook> book;
        try {
            book.emplace(xls::Workbook::open(dataFile(name)));
        } catch (const xls::Error&) {
            continue;  // refused on purpose (encrypted.xls, BIFF2-4)
        }
        for (int sheet = 0; sheet < book->sheetCount(); ++sheet) {
            EXPECT_NO_THROW(xls::draw::drawSheet(*book, sheet)) << name << " sheet " << sheet;
        }
    }
}

// Damaged chart records never bring the painter down: the template with bytes of its chart
// substream and drawing changed at random (seeded), 1,000 times.
TEST(ChartPictureTest, DamagedChartRecords) {
    const std::vector<uint8_t> bytes = xls::Workbook::open(templateFile()).toBytes();
    const uint8_t chartBof[] = {0x09, 0x08, 0x10, 0x00, 0x00, 0x06, 0x20, 0x00};
    const auto bof =
        std::search(bytes.begin(), bytes.end(), std::begin(chartBof), std::end(chartBof));
    ASSERT_NE(bof, bytes.end());
    const size_t from = size_t(bof - bytes.begin()) - 300, to = from + 2400;
    std::mt19937 random(26);
    for (int round = 0; round < 1000; ++round) {
        std::vector<uint8_t> damaged = bytes;
        for (int k = 0; k < 4; ++k)
            damaged[from + random() % (to - from)] = static_cast<uint8_t>(random());
        std::optional<xls::Workbook> book;
        try {
            book.emplace(xls::Workbook::fromBytes(damaged, "damaged.xlt"));
        } catch (const xls::Error&) {
            continue;
        }
        EXPECT_NO_THROW({
            const size_t charts = xls::draw::readCharts(*book, 0).size();
            for (size_t i = 0; i < charts; ++i) xls::draw::drawChart(*book, 0, i);
        }) << "round "
           << round;
    }
}

// Golden pictures of the template's chart filled with 1, 6, 9 and 40 entries, pixel for pixel
// (tests/data/golden/charts, made by tests/data/make_golden_pictures.sh).
class GoldenChart : public ::testing::TestWithParam<int> {};

TEST_P(GoldenChart, PixelForPixel) {
    const int count = GetParam();
    const xls::Workbook book = filledTemplate(chartEntries(size_t(count)));
    const QImage image = xls::draw::drawChart(book, book.activeSheetIndex(), 0);
    const std::string golden = "golden/charts/template-" + std::to_string(count) + ".png";
    const QImage reference(QString::fromStdString(dataFile(golden)));
    ASSERT_FALSE(reference.isNull()) << golden;
    ASSERT_EQ(image.size(), reference.size()) << golden;
    EXPECT_EQ(differingPixels(image, reference, 0), 0)
        << golden << " differs; if the drawing change is intended, run "
        << "tests/data/make_golden_pictures.sh and look at the new pictures";
}

INSTANTIATE_TEST_SUITE_P(Goldens, GoldenChart, ::testing::Values(1, 6, 9, 40));

// The chart alone saved as PNG, SVG or PDF by its file name's ending; anything else is refused
// with the file's name, and so is a chart that is not drawn.
TEST(ChartFileTest, SavesByEnding) {
    const xls::Workbook book = filledTemplate(chartEntries(9));
    QTemporaryDir dir;
    platform::useOutputModuleFrom(MORROWLIN_OUTPUT_MODULE_DIR);
    struct Case {
        const char* name;
        QByteArray start;  // what the file begins with; empty: refused
        const char* fault;
    };
    const Case cases[] = {
        {"chart.png", "\x89PNG", ""},
        {"chart.SVG", "<?xml", ""},
        {"chart.pdf", "%PDF", ""},
        {"chart.bmp", "", "The file chart.bmp does not end in .png, .svg or .pdf."},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(c.name);
        EXPECT_EQ(xls::draw::saveChartPicture(book, 0, 0, path, platform::svgDevice).toStdString(), c.fault) << c.name;
        QFile file(path);
        if (c.start.isEmpty()) {
            EXPECT_FALSE(file.exists()) << c.name;
            continue;
        }
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << c.name;
        const QByteArray bytes = file.readAll();
        EXPECT_TRUE(bytes.startsWith(c.start)) << c.name;
        if (c.start == "<?xml") {
            EXPECT_TRUE(bytes.contains("<svg")) << c.name;
        }
    }
    EXPECT_EQ(xls::draw::saveChartPicture(book, 0, 1, dir.filePath("none.png"), platform::svgDevice)
                  .toStdString(),
              "The sheet has no chart to save.");
}
