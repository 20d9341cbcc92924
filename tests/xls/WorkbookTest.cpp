#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "RecordDump.h"
#include "TestFiles.h"
#include "xls/CompoundFile.h"
#include "xls/Workbook.h"

namespace {

using xls::Record;
namespace rt = xls::rt;

// Records whose content is positions or block indexes that a writer recomputes.
bool recomputed(uint16_t type) {
    return type == rt::Index || type == rt::DbCell || type == rt::ExtSst || type == rt::Row ||
           type == rt::Dimensions;
}

// A ROW record's column span (bytes 2 to 5) is recomputed from the row's cells; writers differ in
// what they put there (Gnumeric writes the whole width of the sheet).
bool sameRowApartFromSpan(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.size() < 6) return false;
    return std::equal(a.begin(), a.begin() + 2, b.begin()) &&
           std::equal(a.begin() + 6, a.end(), b.begin() + 6);
}

class RoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(RoundTrip, SavingUnchangedKeepsEveryRecord) {
    xls::Bytes original = xlstest::readBytes(xlstest::dataPath(GetParam()));
    xls::Workbook book = xls::Workbook::fromBytes(original, GetParam());
    xlstest::expectSoundCellTables(book);
    xls::Bytes saved = book.toBytes();
    std::vector<Record> before, after;
    for (auto& r : xlstest::workbookRecords(original)) {
        if (r.type == rt::FormulaBiff4) r.type = rt::Formula;  // written under today's number
        if (!recomputed(r.type)) before.push_back(r);
    }
    for (auto& r : xlstest::workbookRecords(saved))
        if (!recomputed(r.type)) after.push_back(r);
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        ASSERT_EQ(before[i].type, after[i].type) << "record " << i;
        if (before[i].type == rt::BoundSheet) {  // only the stream position may differ
            EXPECT_TRUE(std::equal(before[i].data.begin() + 4, before[i].data.end(),
                                   after[i].data.begin() + 4, after[i].data.end()));
        } else {
            EXPECT_EQ(before[i].data, after[i].data)
                << "record " << i << " type " << before[i].type;
        }
    }
    // ROW records are recomputed (a row with cells and no ROW record gets one); every original
    // one is still there, with its height and format, apart from the column span.
    std::vector<Record> rowsBefore, rowsAfter;
    for (auto& r : xlstest::workbookRecords(original))
        if (r.type == rt::Row) rowsBefore.push_back(r);
    for (auto& r : xlstest::workbookRecords(saved))
        if (r.type == rt::Row) rowsAfter.push_back(r);
    EXPECT_GE(rowsAfter.size(), rowsBefore.size());
    for (const Record& row : rowsBefore) {
        const bool kept = std::any_of(rowsAfter.begin(), rowsAfter.end(), [&](const Record& r) {
            return sameRowApartFromSpan(row.data, r.data);
        });
        EXPECT_TRUE(kept) << "ROW record for row " << (row.data[0] | (row.data[1] << 8));
    }
    // DIMENSIONS is recomputed: the first sheet's is its used range (rows and columns past the
    // last one), whatever the original writer put there.
    for (auto& r : xlstest::workbookRecords(saved)) {
        if (r.type != rt::Dimensions) continue;
        const auto used = book.sheet(0).usedRange();
        ASSERT_TRUE(used.has_value());
        auto u32 = [&](size_t at) {
            return uint32_t(r.data[at]) | uint32_t(r.data[at + 1]) << 8 |
                   uint32_t(r.data[at + 2]) << 16 | uint32_t(r.data[at + 3]) << 24;
        };
        auto u16 = [&](size_t at) { return uint32_t(r.data[at]) | uint32_t(r.data[at + 1]) << 8; };
        EXPECT_EQ(u32(0), uint32_t(used->firstRow));
        EXPECT_EQ(u32(4), uint32_t(used->lastRow + 1));
        EXPECT_EQ(u16(8), uint32_t(used->firstCol));
        EXPECT_EQ(u16(10), uint32_t(used->lastCol + 1));
        break;
    }
    // Every other stream is kept byte for byte.
    auto a = xls::CompoundFile::parse(original, "a"), b = xls::CompoundFile::parse(saved, "b");
    for (const auto& e : a.entries()) {
        if (e.type != xls::CompoundFile::Type::Stream || e.name == u"Workbook") continue;
        if (e.name == u"Book") {  // a stale Excel 95 copy beside the workbook is dropped
            EXPECT_LT(b.findInRoot(e.name), 0);
            continue;
        }
        int i = b.findInRoot(e.name);
        ASSERT_GE(i, 0);
        EXPECT_EQ(b.entries()[size_t(i)].data, e.data);
    }
}

TEST_P(RoundTrip, SavedSheetPositionsPointAtTheirBof) {
    xls::Workbook book =
        xls::Workbook::fromBytes(xlstest::readBytes(xlstest::dataPath(GetParam())), GetParam());
    book.sheet(0).setValue(0, 0, "changed");
    xlstest::expectSoundCellTables(book);
    xls::Bytes saved = book.toBytes();
    auto cf = xls::CompoundFile::parse(saved, "s");
    const xls::Bytes& stream = cf.entries()[size_t(cf.findInRoot(u"Workbook"))].data;
    int sheets = 0;
    for (const auto& r : xlstest::workbookRecords(saved)) {
        if (r.type != rt::BoundSheet) continue;
        uint32_t pos = xls::get32(r.data.data());
        ASSERT_LT(pos + 8, stream.size());
        EXPECT_EQ(xls::get16(&stream[pos]), rt::Bof);
        EXPECT_EQ(xls::get16(&stream[pos + 6]), 0x0010);  // a worksheet
        ++sheets;
    }
    EXPECT_EQ(sheets, book.sheetCount());
}

INSTANTIATE_TEST_SUITE_P(Workbooks, RoundTrip,
                         ::testing::Values("chart.xls", "chart.xlt", "kinds.xls", "strings.xls",
                                           "sheets.xls", "formulas.xls", "gnumeric-kinds.xls",
                                           "gnumeric-chart.xls", "book-and-workbook.xls",
                                           "long-chain.xls", "short-format.xls", "array.xls",
                                           "table.xls", "notes-nodbcell.xls", "formula-0406.xls"));

TEST(Workbook, SheetsNamesAndUsedRanges) {
    struct Case {
        const char* file;
        int sheets;
        std::vector<std::string> names;
        xls::CellRange used;
    };
    const Case cases[] = {
        {"chart.xlt", 1, {"Assets"}, {2, 0, 18, 1}},
        {"kinds.xls", 1, {"Kinds"}, {0, 0, 20, 7}},
        {"strings.xls", 1, {"Strings"}, {0, 0, 1499, 1}},
        {"sheets.xls", 3, {"First", "Second", "Третий"}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        xls::Workbook book = xls::Workbook::open(xlstest::dataPath(c.file));
        ASSERT_EQ(book.sheetCount(), c.sheets) << c.file;
        for (int i = 0; i < c.sheets; ++i) EXPECT_EQ(book.sheet(i).name(), c.names[size_t(i)]);
        auto used = book.activeSheet().usedRange();
        ASSERT_TRUE(used.has_value()) << c.file;
        EXPECT_EQ(*used, c.used) << c.file;
    }
}

TEST(Workbook, ActiveSheetComesFromTheWindowRecord) {
    // sheets.xls with its WINDOW1 record naming the second sheet as the active one.
    auto cf = xls::CompoundFile::parse(xlstest::readBytes(xlstest::dataPath("sheets.xls")), "s");
    xls::Bytes stream = cf.entries()[size_t(cf.findInRoot(u"Workbook"))].data;
    for (size_t pos = 0; pos + 4 <= stream.size(); pos += 4 + xls::get16(&stream[pos + 2])) {
        if (xls::get16(&stream[pos]) == rt::Window1) xls::set16(&stream[pos + 4 + 10], 1);
    }
    cf.putStream(u"Workbook", stream);
    xls::Workbook book = xls::Workbook::fromBytes(cf.serialize(), "sheets.xls");
    EXPECT_EQ(book.activeSheetIndex(), 1);
    EXPECT_EQ(book.activeSheet().name(), "Second");
    EXPECT_EQ(book.activeSheet().cell(0, 0).text, "sheet 2");
    EXPECT_THROW(book.sheet(3), xls::Error);
    EXPECT_THROW(book.activeSheet().setValue(70000, 0, "x"), xls::Error);
    EXPECT_THROW(book.activeSheet().cell(0, 256), xls::Error);
}

TEST(Workbook, UsedRangeGrowsWithWritesAndFormattedBlanks) {
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath("chart.xlt"));
    xls::Sheet& s = book.activeSheet();
    s.setValue(24, 0, "row 25");
    EXPECT_EQ(*s.usedRange(), (xls::CellRange{2, 0, 24, 1}));
    s.setValue(24, 0, "");  // emptied with the default format: the record goes
    EXPECT_EQ(*s.usedRange(), (xls::CellRange{2, 0, 18, 1}));
    s.setNumberFormat(30, 3, "0.00");  // a formatted blank counts
    EXPECT_EQ(*s.usedRange(), (xls::CellRange{2, 0, 30, 3}));
    xlstest::expectSoundCellTables(book);
}

TEST(Workbook, StylesOfTheChartTemplate) {
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath("chart.xlt"));
    const xls::Styles& st = book.styles();
    const xls::Sheet& s = book.activeSheet();
    xls::Cell amount = s.cell(3, 1);
    EXPECT_NE(st.formatString(st.xf(amount.xf).formatIndex).find("#,##0_)"), std::string::npos);
    EXPECT_EQ(st.defaultFont().heightTwips, 200);
    EXPECT_FALSE(st.defaultFont().name.empty());
    EXPECT_EQ(st.font(4).name, st.defaultFont().name);  // index 4 does not exist
    EXPECT_EQ(st.formatString(0), "General");
    EXPECT_EQ(st.formatString(3), "#,##0");
    EXPECT_EQ(st.formatString(49), "@");
    EXPECT_EQ(st.color(0x7FFF), (xls::Rgb{0, 0, 0}));
    EXPECT_EQ(st.color(0x41), (xls::Rgb{255, 255, 255}));
    EXPECT_EQ(st.color(10), (xls::Rgb{255, 0, 0}));
    EXPECT_EQ(st.palette().size(), 56u);
    EXPECT_TRUE(s.column(0).custom);
    EXPECT_GT(s.column(0).widthChars256, s.column(1).widthChars256);
}

TEST(Workbook, FormattingOfTheKindsWorkbook) {
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath("kinds.xls"));
    const xls::Styles& st = book.styles();
    const xls::Sheet& s = book.activeSheet();
    EXPECT_TRUE(st.xf(s.cell(5, 1).xf).wrap);                       // B6
    EXPECT_TRUE(st.font(st.xf(s.cell(6, 1).xf).fontIndex).bold());  // B7
    EXPECT_EQ(st.xf(s.cell(7, 1).xf).hAlign, xls::HAlign::Center);  // B8
    const xls::XfStyle& bordered = st.xf(s.cell(7, 2).xf);          // C8
    EXPECT_NE(bordered.top.style, 0);
    EXPECT_NE(bordered.bottom.style, 0);
    EXPECT_EQ(st.color(bordered.top.colorIndex), (xls::Rgb{255, 0, 0}));
    const xls::XfStyle& filled = st.xf(s.cell(2, 1).xf);  // B3, yellow fill
    EXPECT_EQ(filled.fillPattern, 1);
    EXPECT_EQ(st.color(filled.fillForeground), (xls::Rgb{255, 255, 0}));
    EXPECT_TRUE(s.column(6).hidden);
    EXPECT_FALSE(s.column(5).hidden);
    EXPECT_EQ(s.row(10).heightTwips, 680);  // 12 mm
    EXPECT_EQ(s.row(11).heightTwips, s.defaultRowHeightTwips());
    ASSERT_EQ(s.mergedRanges().size(), 1u);
    EXPECT_EQ(s.mergedRanges()[0], (xls::CellRange{7, 3, 8, 4}));
    EXPECT_TRUE(s.showGridlines());
}

// The chart workbook with a TEMPLATE record after the globals' BOF, as Excel writes templates.
std::string writeTemplate(const std::string& dir) {
    auto cf = xls::CompoundFile::parse(xlstest::readBytes(xlstest::dataPath("chart.xlt")), "t");
    size_t index = size_t(cf.findInRoot(u"Workbook"));
    xls::Bytes stream = cf.entries()[index].data;
    size_t afterBof = 4 + xls::get16(&stream[2]);
    const uint8_t templateRecord[4] = {0x60, 0x00, 0x00, 0x00};
    stream.insert(stream.begin() + long(afterBof), templateRecord, templateRecord + 4);
    cf.putStream(u"Workbook", stream);
    std::string path = dir + "/Pie Chart.xlt";
    xlstest::writeBytes(path, cf.serialize());
    return path;
}

bool hasTemplate(const std::string& path) {
    for (const auto& r : xlstest::workbookRecords(xlstest::readBytes(path)))
        if (r.type == rt::Template) return true;
    return false;
}

TEST(Workbook, SaveAsDropsTemplateRecordOnlyForXls) {
    std::string dir = xlstest::tempDir("saveas");
    std::string source = writeTemplate(dir);
    ASSERT_TRUE(hasTemplate(source));
    xls::Workbook book = xls::Workbook::open(source);
    EXPECT_EQ(book.activeSheet().cell(3, 0).text, "Savings");
    book.saveAs(dir + "/copy.xlt");
    book.saveAs(dir + "/result.XLS");
    // Saved again over itself: the file holds the new value, and the old file is gone.
    book.activeSheet().setValue(3, 0, "Replaced");
    book.saveAs(dir + "/result.XLS");
    EXPECT_EQ(xls::Workbook::open(dir + "/result.XLS").activeSheet().cell(3, 0).text, "Replaced");
    EXPECT_TRUE(hasTemplate(dir + "/copy.xlt"));
    EXPECT_FALSE(hasTemplate(dir + "/result.XLS"));
    // Only the three files: no temporary file is left behind.
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir)) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 3);
}

TEST(Workbook, FailedSaveLeavesTheOldFileAndNoTemporary) {
    std::string dir = xlstest::tempDir("failsave");
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath("chart.xls"));
    try {
        book.saveAs(dir + "/missing-folder/out.xls");
        FAIL() << "saving into a missing folder succeeded";
    } catch (const xls::Error& e) {
        EXPECT_EQ(e.kind(), xls::ErrorKind::Io);
        EXPECT_EQ(std::string(e.what()).rfind("out.xls: ", 0), 0u) << e.what();
    }
    // A folder in the way of the target, empty or not: the save fails, the folder stays where
    // it is with what it holds, the temporary goes.
    std::filesystem::create_directories(dir + "/taken.xls/inner");
    std::filesystem::create_directories(dir + "/empty.xls");
    for (const char* folder : {"/taken.xls", "/empty.xls"}) {
        try {
            book.saveAs(dir + folder);
            ADD_FAILURE() << "saving onto the folder " << folder << " succeeded";
        } catch (const xls::Error& e) {
            EXPECT_EQ(e.kind(), xls::ErrorKind::Io);
            EXPECT_NE(std::string(e.what()).find("cannot replace the file"), std::string::npos)
                << e.what();
        }
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir + "/taken.xls/inner"));
    EXPECT_TRUE(std::filesystem::is_empty(dir + "/empty.xls"));
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir)) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 2);
}

}  // namespace
