#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "chart/Template.h"
#include "support/WorkbookReader.h"
#include "xls/Workbook.h"
#include "xls/draw/NumberFormat.h"

namespace {

// The template carried inside the program, opened by the engine.
xls::Workbook embeddedTemplate() {
    const QByteArray bytes = chart::TemplateBytes();
    return xls::Workbook::fromBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()),
                                    "Pie Chart.xlt");
}

TEST(Template, IsTheCommittedFileByteForByte) {
    QFile committed(QString(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt");
    ASSERT_TRUE(committed.open(QIODevice::ReadOnly));
    EXPECT_EQ(chart::TemplateBytes(), committed.readAll());
}

struct CellCase {
    int row, col;  // 0-based
    xls::CellKind kind;
    std::string text;
    double number;
};

TEST(Template, HoldsTheHeadingsAndSampleRows) {
    xls::Workbook book = embeddedTemplate();
    ASSERT_EQ(book.sheetCount(), 1);
    ASSERT_EQ(book.activeSheetIndex(), 0);
    const xls::Sheet& sheet = book.sheet(0);
    EXPECT_EQ(sheet.name(), "Assets");
    const std::vector<CellCase> cells = {
        {2, 0, xls::CellKind::String, "Asset Type", 0},
        {2, 1, xls::CellKind::String, "Amount", 0},
        {3, 0, xls::CellKind::String, "Savings", 0},
        {3, 1, xls::CellKind::Number, "", 25000},
        {4, 0, xls::CellKind::String, "401k", 0},
        {4, 1, xls::CellKind::Number, "", 55000},
        {5, 0, xls::CellKind::String, "Stocks", 0},
        {5, 1, xls::CellKind::Number, "", 15000},
        {6, 0, xls::CellKind::String, "House", 0},
        {6, 1, xls::CellKind::Number, "", 250000},
        {7, 0, xls::CellKind::String, "Bonds", 0},
        {7, 1, xls::CellKind::Number, "", 11000},
        {8, 0, xls::CellKind::String, "Car", 0},
        {8, 1, xls::CellKind::Number, "", 7500},
        {16, 1, xls::CellKind::Blank, "", 0},
        {18, 1, xls::CellKind::Blank, "", 0},
        {0, 0, xls::CellKind::Empty, "", 0},
        {9, 0, xls::CellKind::Empty, "", 0},
        {17, 1, xls::CellKind::Empty, "", 0},
    };
    for (const CellCase& c : cells) {
        const xls::Cell cell = sheet.cell(c.row, c.col);
        EXPECT_EQ(cell.kind, c.kind) << "row " << c.row + 1 << " col " << c.col + 1;
        if (c.kind == xls::CellKind::String) {
            EXPECT_EQ(cell.text, c.text);
        }
        if (c.kind == xls::CellKind::Number) {
            EXPECT_DOUBLE_EQ(cell.number, c.number);
        }
    }
    const auto used = sheet.usedRange();
    ASSERT_TRUE(used.has_value());
    EXPECT_EQ(*used, (xls::CellRange{2, 0, 18, 1}));
}

// The amounts show as the accounting format shows them: "$" at the left, the number at the right,
// a dash for zero and parentheses for negatives.
TEST(Template, AmountsCarryTheAccountingFormat) {
    xls::Workbook book = embeddedTemplate();
    const xls::Styles& styles = book.styles();
    for (int row = 3; row <= 8; ++row) {
        const xls::Cell cell = book.sheet(0).cell(row, 1);
        const std::string format = styles.formatString(styles.xf(cell.xf).formatIndex);
        const xls::draw::NumberFormat shown(format);
        EXPECT_EQ(shown.formatPlain(25000), " $ 25,000 ") << format;
        EXPECT_EQ(shown.formatPlain(0), " $ -   ") << format;
        EXPECT_EQ(shown.formatPlain(-1500), " $ (1,500)") << format;
    }
}

TEST(Template, LayoutFontsAndGridlines) {
    xls::Workbook book = embeddedTemplate();
    const xls::Sheet& sheet = book.sheet(0);
    EXPECT_EQ(sheet.column(0).widthChars256, 3904);  // 15.25 characters
    EXPECT_EQ(sheet.column(1).widthChars256, 2656);  // 10.375 characters
    for (int row = 2; row <= 18; ++row) EXPECT_EQ(sheet.row(row).heightTwips, 300) << row + 1;
    EXPECT_FALSE(sheet.showGridlines());
    const xls::Styles& styles = book.styles();
    for (size_t i = 0; i < styles.fontRecordCount() + 1; ++i) {
        if (i == 4) continue;  // there is no font record 4
        EXPECT_EQ(styles.font(i).name, "Constantia") << "font " << i;
    }
}

// The record that comes right after the workbook globals' BOF (whose 16 bytes of data begin with
// version 0x0600 and kind 0x0005).
QByteArray recordAfterGlobalsBof(const std::vector<uint8_t>& file) {
    const QByteArray bytes(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
    const QByteArray bof("\x09\x08\x10\x00\x00\x06\x05\x00", 8);
    const qsizetype at = bytes.indexOf(bof);
    if (at < 0) return QByteArray();
    return bytes.mid(at + 4 + 16, 4);
}

TEST(Template, IsATemplateUntilSavedAsAWorkbook) {
    xls::Workbook book = embeddedTemplate();
    const QByteArray templateRecord("\x60\x00\x00\x00", 4);  // TEMPLATE, no data
    EXPECT_EQ(recordAfterGlobalsBof(book.toBytes(true)), templateRecord);
    EXPECT_NE(recordAfterGlobalsBof(book.toBytes(false)), templateRecord);
    EXPECT_EQ(recordAfterGlobalsBof(book.toBytes(false)).size(), 4);
}

TEST(Template, ChartReadsTheSampleRows) {
    if (!haveXlrd()) GTEST_SKIP() << "python3-xlrd is not installed";
    QTemporaryDir dir;
    const QString path = dir.filePath("Pie Chart.xlt");
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(chart::TemplateBytes());
    out.close();
    const auto book = readWithXlrd(path);
    ASSERT_TRUE(book.has_value());
    QMap<int, ChartRef> refs;
    for (const ChartRef& r : book->chartRefs) refs.insert(r.id, r);
    ASSERT_TRUE(refs.contains(0) && refs.contains(1) && refs.contains(2));
    EXPECT_EQ(refs[0].firstRow, 2);  // series name B3
    EXPECT_EQ(refs[0].firstCol, 1);
    EXPECT_EQ(refs[1].firstRow, 3);  // values B4:B9
    EXPECT_EQ(refs[1].lastRow, 8);
    EXPECT_EQ(refs[1].firstCol, 1);
    EXPECT_EQ(refs[2].firstRow, 3);  // categories A4:A9
    EXPECT_EQ(refs[2].lastRow, 8);
    EXPECT_EQ(refs[2].firstCol, 0);
}

}  // namespace
