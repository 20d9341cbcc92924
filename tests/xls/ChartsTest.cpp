#include <gtest/gtest.h>

#include <filesystem>

#include "RecordDump.h"
#include "TestFiles.h"
#include "xls/Workbook.h"

namespace {

using xlstest::ChartRef;

// Fills the chart workbook the way the program does: clear the six sample rows, then write
// entry i to row i + 3 (1-based), label in A and amount in B.
std::vector<ChartRef> refsAfterFilling(int entries, const char* file = "chart.xlt") {
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath(file));
    xls::Sheet& s = book.activeSheet();
    for (int row = 3; row <= 8; ++row) {
        s.setValue(row, 0, "");
        s.setValue(row, 1, "");
    }
    for (int i = 0; i < entries; ++i) {
        s.setValue(3 + i, 0, "Asset " + std::to_string(i + 1));
        s.setValue(3 + i, 1, std::to_string(1000 * (i + 1)));
        s.setNumberFormat(3 + i, 1, "$#,##0_);($#,##0)");
    }
    return xlstest::chartRefs(xlstest::workbookRecords(book.toBytes()));
}

const ChartRef* find(const std::vector<ChartRef>& refs, int id) {
    for (const auto& r : refs)
        if (r.id == id) return &r;
    return nullptr;
}

TEST(ChartReferences, TheTemplateChartReadsRowsFourToNine) {
    auto refs = xlstest::chartRefs(
        xlstest::workbookRecords(xlstest::readBytes(xlstest::dataPath("chart.xlt"))));
    ASSERT_NE(find(refs, 1), nullptr);
    ASSERT_NE(find(refs, 2), nullptr);
    EXPECT_EQ(find(refs, 1)->firstRow, 3);
    EXPECT_EQ(find(refs, 1)->lastRow, 8);
    EXPECT_EQ(find(refs, 1)->firstCol, 1);
    EXPECT_EQ(find(refs, 2)->lastRow, 8);
    EXPECT_EQ(find(refs, 2)->firstCol, 0);
}

TEST(ChartReferences, FollowTheEntriesWrittenBelow) {
    struct Case {
        int entries;
        int lastRow;  // 0-based last row of values and categories after saving
    };
    // The chart as LibreOffice wrote it, and as Gnumeric wrote it again.
    for (const char* file : {"chart.xlt", "gnumeric-chart.xls"})
        for (Case c : {Case{3, 8}, Case{6, 8}, Case{7, 9}, Case{40, 42}}) {
            SCOPED_TRACE(std::string(file) + ", " + std::to_string(c.entries) + " entries");
            auto refs = refsAfterFilling(c.entries, file);
            for (int id : {1, 2}) {
                const ChartRef* r = find(refs, id);
                ASSERT_NE(r, nullptr);
                EXPECT_EQ(r->firstRow, 3);
                EXPECT_EQ(r->lastRow, c.lastRow);
                EXPECT_EQ(r->firstCol, id == 1 ? 1 : 0);
                EXPECT_EQ(r->lastCol, r->firstCol);
            }
            const ChartRef* name = find(refs, 0);
            if (name) {
                EXPECT_EQ(name->lastRow, 2);  // the series name stays B3
            }
        }
}

TEST(ChartReferences, LeftAloneWhenTheWritesDoNotContinueTheSeries) {
    struct Case {
        const char* what;
        std::vector<std::pair<int, int>> cells;  // (row, col) written below
        int valuesLast, categoriesLast;
    };
    const Case cases[] = {
        {"other column", {{9, 3}, {10, 3}}, 8, 8},
        {"gap after the last row", {{10, 1}, {11, 1}}, 8, 8},
        {"values only", {{9, 1}, {10, 1}}, 10, 8},
        {"stops at the gap", {{9, 0}, {10, 0}, {12, 0}}, 8, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        xls::Workbook book = xls::Workbook::open(xlstest::dataPath("chart.xlt"));
        for (auto [row, col] : c.cells) book.activeSheet().setValue(row, col, "5");
        auto refs = xlstest::chartRefs(xlstest::workbookRecords(book.toBytes()));
        ASSERT_NE(find(refs, 1), nullptr);
        ASSERT_NE(find(refs, 2), nullptr);
        EXPECT_EQ(find(refs, 1)->lastRow, c.valuesLast);
        EXPECT_EQ(find(refs, 2)->lastRow, c.categoriesLast);
    }
}

TEST(ChartReferences, SeriesPointCountsFollow) {
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath("chart.xlt"));
    for (int row = 9; row < 12; ++row) {
        book.activeSheet().setValue(row, 0, "x");
        book.activeSheet().setValue(row, 1, "1");
    }
    for (const auto& r : xlstest::workbookRecords(book.toBytes())) {
        if (r.type != xls::rt::Series) continue;
        EXPECT_EQ(xls::get16(&r.data[4]), 9);  // categories
        EXPECT_EQ(xls::get16(&r.data[6]), 9);  // values
    }
}

}  // namespace

namespace {

TEST(ChartReferences, TheProgramsTemplateFollowsNineEntries) {
    std::string path = std::string(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no resources/Pie Chart.xlt";
    xls::Workbook book = xls::Workbook::open(path);
    xls::Sheet& s = book.activeSheet();
    ASSERT_EQ(s.name(), "Assets");
    for (int row = 3; row <= 8; ++row) {
        s.setValue(row, 0, "");
        s.setValue(row, 1, "");
    }
    for (int i = 0; i < 9; ++i) {
        s.setValue(3 + i, 0, "Entry " + std::to_string(i + 1));
        s.setValue(3 + i, 1, std::to_string(100 * (i + 1)));
    }
    xls::Bytes saved = book.toBytes(false);
    auto refs = xlstest::chartRefs(xlstest::workbookRecords(saved));
    ASSERT_NE(find(refs, 1), nullptr);
    ASSERT_NE(find(refs, 2), nullptr);
    EXPECT_EQ(find(refs, 1)->lastRow, 11);
    EXPECT_EQ(find(refs, 2)->lastRow, 11);
    xls::Workbook back = xls::Workbook::fromBytes(saved, "tkvane.xls");
    EXPECT_EQ(back.activeSheet().cell(11, 0).text, "Entry 9");
    EXPECT_EQ(back.activeSheet().cell(11, 1).number, 900);
    EXPECT_EQ(back.activeSheet().cell(2, 0).text, "Asset Type");
}

}  // namespace
