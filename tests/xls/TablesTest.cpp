// Tables (FEAT11) follow the rows written directly below them, and those rows take the table's
// look. The program's template holds one table, "Table1" over A3:B9.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "RecordDump.h"
#include "TestFiles.h"
#include "xls/Workbook.h"

namespace {

constexpr uint16_t kFeature11 = 0x0872;
const std::string kFormat = "_($* #,##0_);_($* (#,##0);_($* \"-\"??_);_(@_)";

std::string templatePath() {
    return std::string(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt";
}

// Clears the sample rows and writes `entries` rows as the program does, leaving out `skip`.
xls::Bytes filled(xls::Workbook& book, int entries, int skip = -1) {
    xls::Sheet& s = book.activeSheet();
    for (int row = 3; row <= 8; ++row) {
        s.setValue(row, 0, "");
        s.setValue(row, 1, "");
    }
    for (int i = 0; i < entries; ++i) {
        if (3 + i == skip) continue;
        s.setValue(3 + i, 0, "Asset " + std::to_string(i + 1));
        s.setValue(3 + i, 1, std::to_string(1000 * (i + 1)));
        s.setNumberFormat(3 + i, 1, kFormat);
    }
    xlstest::expectSoundCellTables(book);
    xls::Bytes saved = book.toBytes(false);
    xlstest::expectSoundCellTables(book);  // the tables' new rows took their look
    return saved;
}

const xls::Record* feature11(const std::vector<xls::Record>& recs) {
    for (const auto& r : recs)
        if (r.type == kFeature11) return &r;
    return nullptr;
}

// The table's range moves with the rows written below it, in both places FEAT11 keeps it (the
// header's ref8 and refs2); every other byte of the record stays as the template has it.
TEST(Tables, TheRangeFollowsTheRowsWrittenBelow) {
    if (!std::filesystem::exists(templatePath())) GTEST_SKIP() << "no template";
    const auto original = xlstest::workbookRecords(xlstest::readBytes(templatePath()));
    const xls::Record* before = feature11(original);
    ASSERT_NE(before, nullptr);
    struct Case {
        const char* what;
        int entries, skip;
        int lastRow;  // 0-based
    };
    const Case cases[] = {
        {"three entries", 3, -1, 8},   {"six entries", 6, -1, 8},
        {"nine entries", 9, -1, 11},   {"forty entries", 40, -1, 42},
        {"a gap at row 10", 12, 9, 8}, {"a gap at row 12", 12, 11, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        xls::Workbook book = xls::Workbook::open(templatePath());
        const auto recs = xlstest::workbookRecords(filled(book, c.entries, c.skip));
        const xls::Record* after = feature11(recs);
        ASSERT_NE(after, nullptr);
        ASSERT_EQ(after->data.size(), before->data.size());
        xls::Bytes expected = before->data;
        xls::set16(&expected[6], uint16_t(c.lastRow));   // ref8.rwLast
        xls::set16(&expected[29], uint16_t(c.lastRow));  // refs2[0].rwLast
        EXPECT_EQ(after->data, expected);
        EXPECT_EQ(xls::get16(&after->data[4]), 2);  // rwFirst: the heading row stays
        EXPECT_EQ(xls::get16(&after->data[27]), 2);
    }
}

// Rows 10 and on take the look of rows 8 and 9 in turn (fill, font, borders); the amounts keep
// their own number format; no other cell of the sheet changes.
TEST(Tables, NewRowsTakeTheBandedLook) {
    if (!std::filesystem::exists(templatePath())) GTEST_SKIP() << "no template";
    xls::Workbook original = xls::Workbook::open(templatePath());
    xls::Workbook book = xls::Workbook::open(templatePath());
    xls::Bytes saved = filled(book, 40);
    xls::Workbook back = xls::Workbook::fromBytes(saved, "forty.xls");
    const xls::Styles& styles = back.styles();
    const xls::Sheet& sheet = back.activeSheet();
    auto look = [&](int row, int col) {
        const xls::XfStyle& xf = styles.xf(sheet.cell(row, col).xf);
        return std::make_tuple(xf.fontIndex, xf.fillPattern, xf.fillForeground, xf.top.style,
                               xf.bottom.style, xf.left.style, xf.right.style, xf.hAlign);
    };
    ASSERT_NE(look(7, 0), look(8, 0)) << "the template's rows 8 and 9 are banded";
    for (int row = 9; row <= 42; ++row) {
        SCOPED_TRACE("row " + std::to_string(row + 1));
        for (int col = 0; col <= 1; ++col) EXPECT_EQ(look(row, col), look(row - 2, col));
        EXPECT_EQ(styles.formatString(styles.xf(sheet.cell(row, 1).xf).formatIndex), kFormat);
        EXPECT_EQ(styles.formatString(styles.xf(sheet.cell(row, 0).xf).formatIndex), "General");
    }
    // Nothing beyond the entries, and nothing outside columns A and B, changed.
    const xls::Sheet& before = original.activeSheet();
    for (int row = 0; row < 60; ++row)
        for (int col = 0; col < 16; ++col) {
            if (col <= 1 && row >= 3 && row <= 42) continue;
            EXPECT_EQ(sheet.cell(row, col).xf, before.cell(row, col).xf) << row << "," << col;
            EXPECT_EQ(sheet.cell(row, col).kind, before.cell(row, col).kind) << row << "," << col;
        }
}

// A number format given to a cell of a new row before saving is kept over the band's.
TEST(Tables, ANewRowKeepsItsOwnNumberFormat) {
    if (!std::filesystem::exists(templatePath())) GTEST_SKIP() << "no template";
    xls::Workbook book = xls::Workbook::open(templatePath());
    xls::Sheet& s = book.activeSheet();
    s.setValue(9, 0, "Gold");
    s.setValue(9, 1, "12.5");
    s.setNumberFormat(9, 1, "0.00");
    xls::Workbook back = xls::Workbook::fromBytes(book.toBytes(false), "one.xls");
    const xls::XfStyle& b10 = back.styles().xf(back.activeSheet().cell(9, 1).xf);
    const xls::XfStyle& b8 = back.styles().xf(back.activeSheet().cell(7, 1).xf);
    EXPECT_EQ(back.styles().formatString(b10.formatIndex), "0.00");
    EXPECT_EQ(b10.fillForeground, b8.fillForeground);
    EXPECT_EQ(b10.fillPattern, b8.fillPattern);
    EXPECT_EQ(b10.fontIndex, b8.fontIndex);
}

// Six entries fill the template as before the table, the pie's flags, the chart's default text,
// the summary and the chart records of the spreadsheet application were added: record for record
// the same workbook, except those records (and the stream positions they move) and the defined
// name "Table1" that stood in for the table.
TEST(Tables, SixEntriesGiveTheWorkbookOfTheTemplateBeforeTheTable) {
    if (!std::filesystem::exists(templatePath())) GTEST_SKIP() << "no template";
    xls::Workbook before =
        xls::Workbook::open(xlstest::dataPath("previous/pie-chart-before-table.xlt"));
    xls::Workbook now = xls::Workbook::open(templatePath());
    auto oldRecs = xlstest::workbookRecords(filled(before, 6));
    auto newRecs = xlstest::workbookRecords(filled(now, 6));

    // What the template gained: one FONT (the chart's 10-point text), TABLESTYLES, the chart's
    // DEFAULTTEXT group, the table's records, SCL, PLOTGROWTH, CRTLINK, a POS in each of the
    // seven data labels and the series data (DIMENSIONS, three SIINDEX) before the chart's EOF;
    // what it lost: the defined name.
    size_t fonts = 0, gained = 0, lost = 0, labelPos = 0;
    for (const auto& r : oldRecs) fonts += r.type == xls::rt::Font;
    std::vector<xls::Record> kept;
    for (size_t i = 0; i < newRecs.size(); ++i) {
        const uint16_t t = newRecs[i].type;
        if (t == xls::rt::Font && fonts-- == 0) {
            ++gained;
            continue;
        }
        if (t == 0x088E || t == 0x0871 || t == 0x0872 || t == 0x0877) {
            ++gained;
            continue;
        }
        if (t == 0x1024) {  // DEFAULTTEXT, TEXT, BEGIN, POS, FONTX, AI, END
            gained += 7;
            i += 6;
            continue;
        }
        if (t == 0x00A0 || t == 0x1064 || t == 0x1022 || t == 0x1065 ||
            (t == xls::rt::Dimensions && i + 1 < newRecs.size() && newRecs[i + 1].type == 0x1065)) {
            ++gained;
            continue;
        }
        if (t == 0x104F && newRecs[i - 1].type == 0x1033 && newRecs[i - 2].type == 0x1025) {
            // A POS that opens a data label's group (its OBJECTLINK names a series or point).
            size_t k = i;
            while (k < newRecs.size() && newRecs[k].type != 0x1034 && newRecs[k].type != 0x1027)
                ++k;
            if (k < newRecs.size() && newRecs[k].type == 0x1027 &&
                xls::get16(&newRecs[k].data[0]) == 4) {
                ++labelPos;
                continue;
            }
        }
        kept.push_back(newRecs[i]);
    }
    EXPECT_EQ(gained, 1u + 1u + 7u + 4u + 3u + 4u);
    EXPECT_EQ(labelPos, 7u);
    std::vector<xls::Record> old;
    for (const auto& r : oldRecs) {
        if (r.type == 0x0018) {  // NAME
            ++lost;
            continue;
        }
        old.push_back(r);
    }
    EXPECT_EQ(lost, 1u);
    ASSERT_EQ(kept.size(), old.size());
    for (size_t i = 0; i < kept.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i) + " of type " + std::to_string(kept[i].type));
        ASSERT_EQ(kept[i].type, old[i].type);
        xls::Bytes a = old[i].data, b = kept[i].data;
        if (a.size() != b.size()) {
            ADD_FAILURE() << "sizes differ";
            continue;
        }
        if (kept[i].type == xls::rt::BoundSheet) {  // the sheet's stream position moved
            std::fill(a.begin(), a.begin() + 4, 0);
            std::fill(b.begin(), b.begin() + 4, 0);
        }
        if (kept[i].type == xls::rt::ExtSst) continue;  // string positions moved
        if (kept[i].type == 0x1003) {                   // SERIES: the categories are text
            EXPECT_EQ(xls::get16(&b[0]), 3);
            b[0] = a[0];
        }
        if (kept[i].type == 0x1019) {  // PIE: shadow and leader lines now on
            EXPECT_EQ(xls::get16(&b[4]), xls::get16(&a[4]) | 0x0003);
            b[4] = a[4];
        }
        EXPECT_EQ(b, a);
    }
}

}  // namespace
