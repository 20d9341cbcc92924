// The picture of a range: its size from column widths and row heights, its look against
// reference pictures, the template's table, gridlines, hidden and merged cells, and the cut.
#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "PictureTestSupport.h"
#include "xls/Workbook.h"
#include "xls/draw/FontCache.h"
#include "xls/draw/RangePicture.h"
#include "xls/draw/SheetLayout.h"

using picturetest::dataFile;
using picturetest::differingPixels;
using picturetest::isInk;
using picturetest::templateFile;
using xls::draw::drawRange;
using xls::draw::PictureOptions;
using xls::draw::SheetLayout;

namespace {

const xls::CellRange kTemplateUsed{2, 0, 18, 1};  // A3:B19
const xls::CellRange kLookUsed{0, 0, 9, 5};       // A1:F10 of picture.xls

xls::Workbook plainTemplate() { return xls::Workbook::open(templateFile()); }

QRgb rgb(int r, int g, int b) { return qRgb(r, g, b); }

int templateDigitWidth(double dpi) {
    xls::FontStyle constantia;
    constantia.name = "Constantia";
    constantia.heightTwips = 220;
    const QFontMetricsF metrics(xls::draw::FontCache::makeFont(constantia, dpi));
    double widest = 0;
    for (char digit = '0'; digit <= '9'; ++digit)
        widest = std::max(widest, metrics.horizontalAdvance(QChar(digit)));
    return static_cast<int>(std::lround(widest));
}

// Column x ranges of ink in one pixel row band, merged into runs.
std::vector<std::pair<int, int>> inkRuns(const QImage& image, int x0, int x1, int y0, int y1) {
    std::vector<std::pair<int, int>> runs;
    for (int x = x0; x <= x1; ++x) {
        bool ink = false;
        for (int y = y0; y <= y1 && !ink; ++y) ink = isInk(image.pixel(x, y));
        if (!ink) continue;
        if (!runs.empty() && runs.back().second >= x - 4)
            runs.back().second = x;
        else
            runs.push_back({x, x});
    }
    return runs;
}

}  // namespace

// Column widths in 1/256 digit widths become pixels as in Excel (Calibri 11 has 7-pixel digits:
// the standard 8.43-character column is 64 pixels, a 10-character one 75).
TEST(SheetLayoutTest, ColumnWidthsRoundAsExcelDoes) {
    struct Case {
        int widthChars256, digitWidth, pixels;
    };
    const Case cases[] = {
        {2340, 7, 64}, {2742, 7, 75},  {0, 7, 0},     {-5, 7, 0},
        {2340, 0, 0},  {3904, 9, 137}, {2656, 9, 93}, {256, 1, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SheetLayout::columnWidthPixels(c.widthChars256, c.digitWidth), c.pixels)
            << c.widthChars256 << " at digit width " << c.digitWidth;
    }
}

TEST(SheetLayoutTest, RowHeightsFollowTheDpi) {
    struct Case {
        int twips;
        double dpi;
        int pixels;
    };
    const Case cases[] = {{255, 96, 17},  {300, 96, 20}, {300, 144, 30}, {225, 120, 19},
                          {300, 120, 25}, {0, 96, 0},    {15, 96, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(SheetLayout::rowHeightPixels(c.twips, c.dpi), c.pixels)
            << c.twips << "@" << c.dpi;
}

// The template's used range: 17 rows of 15 points, column A 15.25 and B 10.375 characters.
TEST(RangePictureTest, TemplateSizeFollowsColumnWidthsAndRowHeights) {
    const xls::Workbook book = xls::Workbook::open(templateFile());
    for (double dpi : {96.0, 120.0, 144.0}) {
        const int digit = templateDigitWidth(dpi);
        const int width = SheetLayout::columnWidthPixels(3904, digit) +
                          SheetLayout::columnWidthPixels(2656, digit);
        const int height = 17 * static_cast<int>(std::lround(300 * dpi / 1440));
        const QImage image = drawRange(book, 0, kTemplateUsed, PictureOptions{dpi, 16384});
        EXPECT_EQ(image.width(), width) << dpi;
        EXPECT_EQ(image.height(), height) << dpi;
    }
}

// Golden pictures: the used range of the active sheet of the template and of each reference
// workbook, drawn with the bundled fonts, must come out pixel for pixel as stored in
// tests/data/golden (made by tests/data/make_golden_pictures.sh, on any machine).
class GoldenPicture : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenPicture, PixelForPixel) {
    const std::string golden = GetParam();
    const std::string workbook =
        golden == "template.png" ? templateFile() : dataFile(golden.substr(0, golden.size() - 4));
    const xls::Workbook book = xls::Workbook::open(workbook);
    const int sheet = book.activeSheetIndex();
    const QImage image = drawRange(book, sheet, *book.sheet(sheet).usedRange());
    const QImage reference(QString::fromStdString(dataFile("golden/" + golden)));
    ASSERT_FALSE(reference.isNull()) << golden;
    ASSERT_EQ(image.size(), reference.size()) << golden;
    EXPECT_EQ(differingPixels(image, reference, 0), 0)
        << golden << " differs; if the drawing change is intended, run "
        << "tests/data/make_golden_pictures.sh and look at the new pictures";
    // Painted in bands of 8 pixel rows on three threads, every cell and value crosses a band
    // edge somewhere: still pixel for pixel the same.
    PictureOptions narrowBands;
    narrowBands.bandBytes = 1;
    narrowBands.threads = 3;
    const QImage banded = drawRange(book, sheet, *book.sheet(sheet).usedRange(), narrowBands);
    ASSERT_EQ(banded.size(), reference.size()) << golden;
    EXPECT_EQ(differingPixels(banded, reference, 0), 0) << golden << " in narrow bands";
    // Painted in one pass through a painter of the caller's, as files and printers are painted.
    QImage onePass(xls::draw::rangePictureSize(book, sheet, *book.sheet(sheet).usedRange()),
                   QImage::Format_RGB32);
    ASSERT_EQ(onePass.size(), reference.size()) << golden;
    {
        QPainter painter(&onePass);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        xls::draw::paintRange(painter, book, sheet, *book.sheet(sheet).usedRange());
    }
    EXPECT_EQ(differingPixels(onePass, reference, 0), 0) << golden << " in one pass";
}

INSTANTIATE_TEST_SUITE_P(Goldens, GoldenPicture, ::testing::ValuesIn(picturetest::goldenPictures()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.substr(0, info.param.size() - 4);
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// Every reference workbook that has cells has its golden picture.
TEST(GoldenPictureSet, EveryWorkbookHasOne) {
    const std::vector<std::string> goldens = picturetest::goldenPictures();
    const auto has = [&goldens](const std::string& name) {
        return std::find(goldens.begin(), goldens.end(), name) != goldens.end();
    };
    EXPECT_TRUE(has("template.png")) << "the template has no golden picture";
    for (const std::string& name : picturetest::referenceWorkbooks()) {
        std::optional<xls::CellRange> used;
        try {
            const xls::Workbook book = xls::Workbook::open(dataFile(name));
            used = book.sheet(book.activeSheetIndex()).usedRange();
        } catch (const xls::Error&) {
            continue;  // refused on purpose (encrypted.xls): nothing to draw
        }
        if (!used) continue;
        EXPECT_TRUE(has(name + ".png"))
            << name << " has no golden picture: run tests/data/make_golden_pictures.sh";
    }
}

// The table look: a blue heading row, banded rows, white borders between cells; the accounting
// amounts with "$" at the left edge and the number at the right; nothing below the table.
TEST(RangePictureTest, TemplateTableLook) {
    const xls::Workbook book = xls::Workbook::open(templateFile());
    const QImage image = drawRange(book, 0, kTemplateUsed);
    const int colA = drawRange(book, 0, {2, 0, 2, 0}).width();
    const int rowHeight = 20;

    struct Sample {
        int x, y;
        QRgb color;
        const char* what;
    };
    const Sample samples[] = {
        {colA - 4, 1, rgb(79, 129, 189), "heading fill"},
        {colA - 4, rowHeight + 1, rgb(184, 204, 228), "first band"},
        {colA - 4, 2 * rowHeight + 1, rgb(219, 229, 241), "second band"},
        {colA - 1, rowHeight + 8, rgb(255, 255, 255), "white border between A and B"},
        {colA + 5, 7 * rowHeight - 1, rgb(255, 255, 255), "white border under the table"},
        {colA - 4, 9 * rowHeight + 8, rgb(255, 255, 255), "no fill below the table"},
    };
    for (const Sample& s : samples) EXPECT_EQ(image.pixel(s.x, s.y), s.color) << s.what;

    // The accounting amounts: "$" near B's left edge, the number ending at the same place near
    // its right edge on every row, a gap in between.
    int rightEnd = -1;
    for (int row = 1; row <= 6; ++row) {
        const auto runs = inkRuns(image, colA + 1, image.width() - 1, row * rowHeight + 2,
                                  (row + 1) * rowHeight - 3);
        ASSERT_GE(runs.size(), 2u) << "row " << row;
        EXPECT_LT(runs.front().first - colA, 16) << "row " << row;
        EXPECT_GT(runs.back().first - runs.front().second, 6) << "row " << row;
        EXPECT_GT(runs.back().second, image.width() - 14) << "row " << row;
        if (rightEnd >= 0) {
            EXPECT_NEAR(runs.back().second, rightEnd, 1) << "row " << row;
        }
        rightEnd = runs.back().second;
    }
    // Rows 10 to 19 are empty and the sheet hides its gridlines: all white.
    for (int y = 7 * rowHeight; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixel(x, y), rgb(255, 255, 255)) << x << "," << y;
}

// picture.xls shows its gridlines: light grey on the last pixel column and row of each cell,
// hidden where text runs on into an empty neighbour (A1's text reaches into B1, not C1;
// D10's right-aligned text into C10) and inside a merged area.
TEST(RangePictureTest, GridlinesWhenTheSheetShowsThem) {
    const xls::Workbook book = xls::Workbook::open(dataFile("picture.xls"));
    const QImage image = drawRange(book, 0, kLookUsed);
    const int colA = drawRange(book, 0, {0, 0, 0, 0}).width();
    const int colB = drawRange(book, 0, {0, 1, 0, 1}).width();
    const int row1 = drawRange(book, 0, {0, 0, 0, 0}).height();
    const QRgb grid = rgb(212, 212, 212);

    EXPECT_EQ(image.pixel(image.width() - 1, row1 + 3), grid) << "right edge of F2";
    EXPECT_EQ(image.pixel(image.width() - 5, row1 - 1), grid) << "bottom edge of F1";
    EXPECT_EQ(image.pixel(colA - 1, row1 + 2), grid) << "between A2 and B2";
    EXPECT_NE(image.pixel(colA - 1, 1), grid) << "A1's text runs on over B1";
    EXPECT_EQ(image.pixel(colA + colB - 1, 1), grid) << "it ends in B1: C1 keeps its line";

    // D10's right-aligned text runs on to the left into C10, not B10.
    const int colC = drawRange(book, 0, {0, 2, 0, 2}).width();
    const int row10Top = image.height() - drawRange(book, 0, {9, 0, 9, 0}).height();
    EXPECT_NE(image.pixel(colA + colB + colC - 1, row10Top + 1), grid) << "D10 runs into C10";
    EXPECT_EQ(image.pixel(colA + colB - 1, row10Top + 1), grid) << "B10 keeps its line";

    // Merged B5:C6, filled: neither the line between B5 and C5 nor between B5 and B6.
    const int row5Top = drawRange(book, 0, {0, 0, 3, 0}).height();
    const QRgb mergedFill = image.pixel(colA + 3, row5Top + 2);
    EXPECT_NE(mergedFill, grid);
    EXPECT_EQ(image.pixel(colA + colB - 1, row5Top + 3), mergedFill);
    EXPECT_EQ(image.pixel(colA + 3, row5Top + row1 - 1), mergedFill);

    // Without gridlines (the template) the same spot of an empty cell is white.
    const xls::Workbook plain = xls::Workbook::open(templateFile());
    const QImage noGrid = drawRange(plain, 0, {10, 0, 12, 1});
    EXPECT_EQ(noGrid.pixel(noGrid.width() - 1, 3), rgb(255, 255, 255));
}

// Hidden column E and hidden row 9 take no room.
TEST(RangePictureTest, HiddenColumnsAndRowsTakeNoRoom) {
    const xls::Workbook book = xls::Workbook::open(dataFile("picture.xls"));
    const QImage whole = drawRange(book, 0, kLookUsed);
    EXPECT_EQ(whole.width(),
              drawRange(book, 0, {0, 0, 9, 3}).width() + drawRange(book, 0, {0, 5, 9, 5}).width());
    EXPECT_EQ(whole.height(), drawRange(book, 0, {0, 0, 7, 5}).height() +
                                  drawRange(book, 0, {9, 0, 9, 5}).height());
    EXPECT_TRUE(drawRange(book, 0, {0, 4, 9, 4}).isNull()) << "only the hidden column";
}

// F4 holds "Turned", rotated 90 degrees counter-clockwise: its ink is taller than wide.
TEST(RangePictureTest, TurnedText) {
    const xls::Workbook book = xls::Workbook::open(dataFile("picture.xls"));
    const QImage image = drawRange(book, 0, kLookUsed);
    const int colF = drawRange(book, 0, {0, 5, 0, 5}).width();
    const int top = drawRange(book, 0, {0, 0, 2, 0}).height();
    const int height = drawRange(book, 0, {3, 0, 3, 0}).height();
    int left = image.width(), right = -1, upper = image.height(), lower = -1;
    for (int y = top; y < top + height - 1; ++y) {
        for (int x = image.width() - colF; x < image.width() - 1; ++x) {
            if (!isInk(image.pixel(x, y))) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            upper = std::min(upper, y);
            lower = std::max(lower, y);
        }
    }
    ASSERT_GE(right, left);
    EXPECT_GT(lower - upper, 3 * (right - left)) << "taller than wide";
    // Centred across the column.
    const int middle = image.width() - colF / 2;
    EXPECT_NEAR((left + right) / 2.0, middle, 3.0);
}

// The template with 1,000 entries: rows 3 to 1003, 20 pixels each.
xls::Workbook thousandEntries() {
    xls::Workbook book = xls::Workbook::open(templateFile());
    xls::Sheet& sheet = book.activeSheet();
    for (int row = 3; row < 1003; ++row) {
        sheet.setValue(row, 0, "Entry " + std::to_string(row));
        sheet.setValue(row, 1, std::to_string(row * 10));
    }
    return book;
}

// A picture larger than the limits is cut to them, the top left kept, rows first; its last
// strip (20 pixels) says how much is left out.
TEST(RangePictureTest, LargePicturesAreCutKeepingTheTopLeft) {
    const xls::Workbook book = thousandEntries();
    const xls::CellRange used = *book.sheet(0).usedRange();
    ASSERT_EQ(used.lastRow, 1002);
    const QImage top = drawRange(book, 0, {2, 0, 40, 1});
    const int tableWidth = top.width();
    struct Case {
        int maxSide;
        long long maxPixels;
        int width, height;
        int rowsCut, columnsCut;
    };
    const Case cases[] = {
        // 1,001 rows of 20 pixels: 818 fit above the strip of a 16,384-pixel picture.
        {16384, 64LL << 20, tableWidth, 16384, 1001 - 818, 0},
        // Column A alone is wider than 100 pixels: neither column is shown whole.
        {100, 64LL << 20, 100, 100, 1001 - 4, 2},
        {500, 64LL << 20, tableWidth, 500, 1001 - 24, 0},
        // The area bound cuts rows, not columns: 300 rows' worth of pixels of the full width.
        {16384, tableWidth * 300LL, tableWidth, 300, 1001 - 14, 0},
        // Less area than one pixel row of the full width: one row, cut to the area.
        {16384, 50, 50, 1, 1001, 2},
    };
    for (const Case& c : cases) {
        xls::draw::PictureCut cut;
        const QImage image =
            drawRange(book, 0, used, PictureOptions{96.0, c.maxSide, c.maxPixels}, &cut);
        ASSERT_EQ(image.width(), c.width) << c.maxSide << " " << c.maxPixels;
        ASSERT_EQ(image.height(), c.height) << c.maxSide << " " << c.maxPixels;
        EXPECT_EQ(cut.rows, c.rowsCut) << c.maxSide << " " << c.maxPixels;
        EXPECT_EQ(cut.columns, c.columnsCut) << c.maxSide << " " << c.maxPixels;
        const int kept = std::min(image.height() - 20, top.height());
        if (kept > 0) {
            EXPECT_EQ(image.copy(0, 0, c.width, kept), top.copy(0, 0, c.width, kept)) << c.maxSide;
        }
    }
}

// Rows deep in a large picture (planned and painted on other threads, in other bands) look as in
// a picture of those rows alone, but for the two pixel rows at either edge, where the rows above
// and below draw their borders.
TEST(RangePictureTest, DeepRowsLookAsInAPictureOfTheirOwn) {
    const xls::Workbook book = thousandEntries();
    const xls::CellRange used = *book.sheet(0).usedRange();
    const QImage whole = drawRange(book, 0, used);
    const SheetLayout layout(book.sheet(0), used, templateDigitWidth(96.0), 96.0);
    for (const int first : {203, 437, 640, 790}) {
        const QImage part = drawRange(book, 0, {first, 0, first + 9, 1});
        const int top = layout.rowTop(first);
        ASSERT_LE(top + part.height(), whole.height() - 20) << first;  // above the cut notice
        ASSERT_EQ(part.width(), whole.width());
        const int inner = part.height() - 4;
        EXPECT_EQ(whole.copy(0, top + 2, part.width(), inner), part.copy(0, 2, part.width(), inner))
            << "rows from " << first;
    }
}

// The default bounds: a 16,384-pixel side and 64 Mi pixels (256 MiB), rows cut first.
TEST(RangePictureTest, PictureSizeBounds) {
    struct Case {
        QSize full, shown;
    };
    const Case cases[] = {
        {{205, 340}, {205, 340}},
        {{205, 1310720}, {205, 16384}},
        {{20000, 100}, {16384, 100}},
        {{16384, 16384}, {16384, 4096}},
        {{10000, 10000}, {10000, 6710}},
        {{8192, 8192}, {8192, 8192}},
        {{0, 0}, {0, 0}},
    };
    for (const Case& c : cases) {
        const QSize shown = xls::draw::pictureSize(c.full, PictureOptions{});
        EXPECT_EQ(shown, c.shown) << c.full.width() << "x" << c.full.height();
        EXPECT_LE(static_cast<long long>(shown.width()) * shown.height(), 64LL << 20);
    }
}

// A cut picture never passes for the whole sheet: the strip is pale yellow with dark words.
TEST(RangePictureTest, CutPictureSaysWhatIsNotShown) {
    const xls::Workbook book = thousandEntries();
    xls::draw::PictureCut cut;
    const QImage image = drawRange(book, 0, *book.sheet(0).usedRange(), PictureOptions{}, &cut);
    EXPECT_EQ(xls::draw::cutNotice(cut), QString::fromUtf8("\u2026 183 more rows not shown"));
    const int stripTop = image.height() - 20;
    EXPECT_EQ(image.pixel(image.width() - 2, stripTop + 10), rgb(255, 246, 204));
    int ink = 0;
    for (int y = stripTop + 2; y < image.height(); ++y)
        for (int x = 0; x < image.width() / 2; ++x) ink += isInk(image.pixel(x, y)) ? 1 : 0;
    EXPECT_GT(ink, 40) << "the words of the strip";

    xls::draw::PictureCut none{5, 5};
    const QImage whole = drawRange(plainTemplate(), 0, kTemplateUsed, PictureOptions{}, &none);
    EXPECT_FALSE(none.any());
    EXPECT_NE(whole.pixel(whole.width() - 2, whole.height() - 10), rgb(255, 246, 204));
}

TEST(RangePictureTest, CutNoticeWords) {
    struct Case {
        xls::draw::PictureCut cut;
        const char* words;
    };
    const Case cases[] = {
        {{185, 0}, "\u2026 185 more rows not shown"},
        {{1, 0}, "\u2026 1 more row not shown"},
        {{0, 3}, "\u2026 3 more columns not shown"},
        {{2, 1}, "\u2026 2 more rows and 1 more column not shown"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(xls::draw::cutNotice(c.cut).toStdString(), std::string(c.words));
}

TEST(RangePictureTest, BadSheetIndexThrows) {
    const xls::Workbook book = xls::Workbook::open(templateFile());
    for (int index : {-1, 1, 7}) EXPECT_THROW(drawRange(book, index, kTemplateUsed), xls::Error);
}
