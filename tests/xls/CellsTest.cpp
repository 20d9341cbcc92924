#include <gtest/gtest.h>

#include "RecordDump.h"
#include "TestFiles.h"
#include "xls/CompoundFile.h"
#include "xls/Workbook.h"

namespace {

namespace rt = xls::rt;
using xls::CellKind;

xls::Workbook reopen(xls::Workbook& book) {
    return xls::Workbook::fromBytes(book.toBytes(), "reopened.xls");
}

// The cells of kinds.xls, one per kind of cell record.
struct Target {
    const char* what;
    int row, col;
    CellKind before;
};
const Target kTargets[] = {
    {"RK in a MULRK run (first)", 0, 1, CellKind::Number},
    {"RK in a MULRK run (middle)", 0, 3, CellKind::Number},
    {"RK in a MULRK run (last)", 0, 5, CellKind::Number},
    {"number", 1, 0, CellKind::Number},
    {"shared string", 2, 0, CellKind::String},
    {"blank in a MULBLANK run", 2, 3, CellKind::Blank},
    {"boolean formula", 3, 0, CellKind::Formula},
    {"error formula", 4, 0, CellKind::Formula},
    {"string formula with STRING", 6, 0, CellKind::Formula},
    {"formatted number", 4, 1, CellKind::Number},
    {"empty", 30, 2, CellKind::Empty},
};

struct Assigned {
    const char* text;
    CellKind kind;
    double number;
    const char* string;
};
const Assigned kValues[] = {
    {"12.5", CellKind::Number, 12.5, ""},
    {"$7,500", CellKind::Number, 7500, ""},
    {" -3 ", CellKind::Number, -3, ""},
    {"Savings", CellKind::String, 0, "Savings"},
    {"Ελλάδα 日本", CellKind::String, 0, "Ελλάδα 日本"},
    {"12a", CellKind::String, 0, "12a"},
    {"", CellKind::Empty, 0, ""},
};

TEST(CellWrites, EveryValueOverEveryKindOfCell) {
    xls::Workbook original = xls::Workbook::open(xlstest::dataPath("kinds.xls"));
    for (const Target& t : kTargets) {
        ASSERT_EQ(original.activeSheet().cell(t.row, t.col).kind, t.before) << t.what;
        for (const Assigned& v : kValues) {
            SCOPED_TRACE(std::string(t.what) + " <- \"" + v.text + "\"");
            xls::Workbook book = xls::Workbook::open(xlstest::dataPath("kinds.xls"));
            xls::Sheet& s = book.activeSheet();
            xls::Cell old = s.cell(t.row, t.col);
            // Every other cell of the row, before.
            std::vector<xls::Cell> row;
            for (int c = 0; c < 8; ++c) row.push_back(s.cell(t.row, c));
            s.setValue(t.row, t.col, v.text);
            xls::Workbook back = reopen(book);
            xls::Cell now = back.activeSheet().cell(t.row, t.col);
            CellKind expected = v.kind;
            bool formatted = old.kind != CellKind::Empty && old.xf != 15;
            if (expected == CellKind::Empty && formatted) expected = CellKind::Blank;
            EXPECT_EQ(now.kind, expected);
            if (expected == CellKind::Number) {
                EXPECT_EQ(now.number, v.number);
            }
            if (expected == CellKind::String) {
                EXPECT_EQ(now.text, v.string);
            }
            if (old.kind != CellKind::Empty && expected != CellKind::Empty) {
                EXPECT_EQ(now.xf, old.xf);
            }
            for (int c = 0; c < 8; ++c) {
                if (c == t.col) continue;
                xls::Cell n = back.activeSheet().cell(t.row, c);
                EXPECT_EQ(n.kind, row[size_t(c)].kind) << "column " << c;
                EXPECT_EQ(n.number, row[size_t(c)].number) << "column " << c;
                EXPECT_EQ(n.text, row[size_t(c)].text) << "column " << c;
                EXPECT_EQ(n.xf, row[size_t(c)].xf) << "column " << c;
            }
        }
    }
}

TEST(CellWrites, ReadsEveryKindOfTheKindsWorkbook) {
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath("kinds.xls"));
    const xls::Sheet& s = book.activeSheet();
    EXPECT_EQ(s.cell(0, 0).number, 42);
    EXPECT_EQ(s.cell(0, 4).number, 40);
    EXPECT_DOUBLE_EQ(s.cell(1, 0).number, 3.14159);
    EXPECT_EQ(s.cell(2, 0).text, "text");
    EXPECT_EQ(s.cell(3, 0).cachedKind, CellKind::Boolean);
    EXPECT_TRUE(s.cell(3, 0).boolean);
    EXPECT_EQ(s.cell(4, 0).cachedKind, CellKind::Error);
    EXPECT_EQ(s.cell(4, 0).errorCode, 0x07);  // #DIV/0!
    EXPECT_EQ(s.cell(5, 0).cachedKind, CellKind::Number);
    EXPECT_EQ(s.cell(5, 0).number, 84);
    EXPECT_EQ(s.cell(6, 0).cachedKind, CellKind::String);
    EXPECT_EQ(s.cell(6, 0).text, "abcd");
    EXPECT_EQ(s.cell(20, 7).text, "far");
    EXPECT_EQ(s.cell(19, 7).kind, CellKind::Empty);
}

TEST(CellWrites, SplittingARunKeepsTheOtherCellsAsRecords) {
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath("kinds.xls"));
    book.activeSheet().setValue(0, 3, "x");
    std::map<uint16_t, int> counts;
    for (const auto& r : xlstest::workbookRecords(book.toBytes()))
        if (r.data.size() >= 2 && xls::get16(r.data.data()) == 0 &&
            (r.type == rt::MulRk || r.type == rt::Rk || r.type == rt::LabelSst))
            ++counts[r.type];
    EXPECT_EQ(counts[rt::MulRk], 2);  // B1:C1 and E1:F1 (A1 may stand alone)
    EXPECT_GE(counts[rt::LabelSst], 1);
}

TEST(CellWrites, NewRowsGetRowRecordsWithTheDefaultHeight) {
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath("chart.xlt"));
    book.activeSheet().setValue(40, 0, "new row");
    bool found = false;
    for (const auto& r : xlstest::workbookRecords(book.toBytes())) {
        if (r.type != rt::Row || xls::get16(r.data.data()) != 40) continue;
        found = true;
        EXPECT_EQ(xls::get16(&r.data[2]), 0);  // first column
        EXPECT_EQ(xls::get16(&r.data[4]), 1);  // last column + 1
        EXPECT_EQ(int(xls::get16(&r.data[6])), book.activeSheet().defaultRowHeightTwips());
    }
    EXPECT_TRUE(found);
}

TEST(SharedStrings, GrowPastTheContinueBoundaryWithNonLatinText) {
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath("chart.xlt"));
    xls::Sheet& s = book.activeSheet();
    auto text = [](int i) {
        const char* parts[] = {"Ελληνικά ", "Русский текст ", "日本語の文字列 ", "plain "};
        std::string t;
        for (int k = 0; k <= i % 7; ++k) t += parts[(i + k) % 4];
        return t + std::to_string(i);
    };
    for (int i = 0; i < 2000; ++i) s.setValue(40 + i, 2, text(i));
    xls::Bytes saved = book.toBytes();
    int continues = 0;
    bool inSst = false;
    for (const auto& r : xlstest::workbookRecords(saved)) {
        EXPECT_LE(r.data.size(), xls::kMaxRecordData);
        if (r.type == rt::Sst)
            inSst = true;
        else if (r.type == rt::Continue && inSst)
            ++continues;
        else
            inSst = false;
    }
    EXPECT_GT(continues, 5);
    xls::Workbook back = xls::Workbook::fromBytes(saved, "strings");
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(back.activeSheet().cell(40 + i, 2).text, text(i));
    EXPECT_EQ(back.activeSheet().cell(3, 0).text, "Savings");  // the old strings stay
}

TEST(SharedStrings, SameTextIsStoredOnce) {
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath("chart.xlt"));
    xls::Sheet& s = book.activeSheet();
    s.setValue(20, 0, "Savings");  // already in the table
    s.setValue(21, 0, "Brand new");
    s.setValue(22, 0, "Brand new");
    auto count = [](const xls::Bytes& file) {
        for (const auto& r : xlstest::workbookRecords(file))
            if (r.type == rt::Sst) return xls::get32(&r.data[4]);
        return 0u;
    };
    uint32_t before = count(xlstest::readBytes(xlstest::dataPath("chart.xlt")));
    EXPECT_EQ(count(book.toBytes()), before + 1);
}

TEST(NumberFormats, FoundOrAddedOnce) {
    struct Case {
        const char* format;
        bool newFormatRecord;
    };
    const Case cases[] = {
        {"0.00", false},   // built-in id 2
        {"#,##0", false},  // built-in id 3
        {"$#,##0_);($#,##0)", true},
        {"_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)", true},
        {"0.000 \"Ω\"", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        xls::Workbook book = xls::Workbook::open(xlstest::dataPath("chart.xlt"));
        size_t formats = book.styles().customFormats().size();
        size_t xfs = book.styles().xfCount();
        xls::Sheet& s = book.activeSheet();
        s.setValue(9, 1, "1234.5");
        s.setNumberFormat(9, 1, c.format);
        s.setNumberFormat(10, 1, c.format);
        s.setNumberFormat(9, 1, c.format);
        EXPECT_EQ(book.styles().customFormats().size(), formats + (c.newFormatRecord ? 1 : 0));
        EXPECT_EQ(book.styles().xfCount(), xfs + 1);
        xls::Workbook back = reopen(book);
        const xls::Styles& st = back.styles();
        xls::Cell b10 = back.activeSheet().cell(9, 1);
        EXPECT_EQ(b10.number, 1234.5);
        EXPECT_EQ(st.formatString(st.xf(b10.xf).formatIndex), c.format);
        EXPECT_EQ(back.activeSheet().cell(10, 1).kind, CellKind::Blank);
        EXPECT_EQ(back.activeSheet().cell(10, 1).xf, b10.xf);
        if (c.newFormatRecord) {
            EXPECT_GE(st.xf(b10.xf).formatIndex, 164);
        }
        // The clone keeps the rest of the format.
        EXPECT_EQ(st.xf(b10.xf).fontIndex, st.xf(15).fontIndex);
    }
}

}  // namespace

// A sheet with no cell table, DIMENSIONS or WINDOW2 to place new cells by, followed (before the
// next substream) by records that are not the sheet's: new cells go inside the sheet, before its
// EOF, and read back.
TEST(CellWrites, ASheetWithoutCellsGetsThemBeforeItsEof) {
    auto cf = xls::CompoundFile::parse(xlstest::readBytes(xlstest::dataPath("sheets.xls")), "s");
    xls::Bytes stream = cf.entries()[size_t(cf.findInRoot(u"Workbook"))].data;
    auto dropped = [](uint16_t t) {
        switch (t) {
            case rt::Row:
            case rt::DbCell:
            case rt::Index:
            case rt::Dimensions:
            case rt::Window2:
            case rt::LabelSst:
            case rt::Number:
            case rt::Rk:
            case rt::MulRk:
            case rt::Blank:
            case rt::MulBlank:
            case rt::Label:
            case rt::Formula:
                return true;
            default:
                return false;
        }
    };
    xls::Bytes out;
    int substream = 0;
    for (const xls::Record& r : xls::parseRecords(stream, "s")) {
        if (r.type == rt::Bof) ++substream;
        if (substream >= 2 && dropped(r.type)) continue;
        xls::writeRecord(out, r);
        if (r.type == rt::Eof && substream == 4) {  // stray records after the last sheet
            xls::Bytes cell = {0, 0, 0, 0, 15, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F};
            xls::writeRecord(out, rt::Number, cell.data(), cell.size());
        }
    }
    cf.putStream(u"Workbook", out);
    xls::Workbook book = xls::Workbook::fromBytes(cf.serialize(), "sheets.xls");
    xls::Sheet& last = book.sheet(2);
    ASSERT_FALSE(last.usedRange().has_value());
    last.setValue(4, 1, "inside");
    xls::Workbook again = xls::Workbook::fromBytes(book.toBytes(false), "again.xls");
    EXPECT_EQ(again.sheet(2).cell(4, 1).text, "inside");
}

namespace {

// chart.xls with the record of cell A4 ("Savings", a LABELSST) replaced by `record`.
xls::Workbook withA4Record(uint16_t type, const xls::Bytes& body) {
    auto cf = xls::CompoundFile::parse(xlstest::readBytes(xlstest::dataPath("chart.xls")), "c");
    xls::Bytes stream = cf.entries()[size_t(cf.findInRoot(u"Workbook"))].data;
    xls::Bytes out;
    for (size_t pos = 0; pos + 4 <= stream.size();) {
        uint16_t t = xls::get16(&stream[pos]), size = xls::get16(&stream[pos + 2]);
        const uint8_t* data = &stream[pos + 4];
        if (t == rt::LabelSst && xls::get16(data) == 3 && xls::get16(data + 2) == 0) {
            xls::Bytes d(data, data + 6);  // row, column, XF
            d.insert(d.end(), body.begin(), body.end());
            xls::writeRecord(out, type, d.data(), d.size());
        } else {
            xls::writeRecord(out, t, data, size);
        }
        pos += 4 + size;
    }
    cf.putStream(u"Workbook", out);
    return xls::Workbook::fromBytes(cf.serialize(), "chart.xls");
}

TEST(CellReads, LabelAndRichStringRecords) {
    xls::Bytes label = {3, 0, 1, 0x95, 0x03, 0xBB, 0x03, 0xB1, 0x03};   // "Ελα", 16-bit
    xls::Bytes rich = {4, 0, 0, 'G', 'o', 'l', 'd', 1, 0, 1, 0, 5, 0};  // one formatting run
    struct Case {
        uint16_t type;
        xls::Bytes body;
        const char* text;
    };
    for (const Case& c : {Case{rt::Label, label, "Ελα"}, Case{rt::RString, rich, "Gold"}}) {
        xls::Workbook book = withA4Record(c.type, c.body);
        xls::Sheet& s = book.activeSheet();
        EXPECT_EQ(s.cell(3, 0).kind, CellKind::String);
        EXPECT_EQ(s.cell(3, 0).text, c.text);
        s.setValue(3, 0, "Bonds");  // overwriting it works like any other cell
        xls::Workbook back = reopen(book);
        EXPECT_EQ(back.activeSheet().cell(3, 0).text, "Bonds");
        EXPECT_EQ(back.activeSheet().cell(4, 0).text, "401k");
    }
}

TEST(CellReads, TextRunningPastItsRecordIsACorruptError) {
    xls::Bytes label = {50, 0, 0, 'a', 'b'};  // claims 50 characters, holds two
    xls::Workbook book = withA4Record(rt::Label, label);
    try {
        book.activeSheet().cell(3, 0);
        FAIL() << "read";
    } catch (const xls::Error& e) {
        EXPECT_EQ(e.kind(), xls::ErrorKind::Corrupt);
        EXPECT_STREQ(e.what(), "chart.xls: the text of cell A4 runs past its record");
    }
}

TEST(CellWrites, ReplacingTheHostOfASharedFormulaKeepsItsUsers) {
    // formulas.xls: B1:B10 hold =A1*2 ... =A10*2 as one shared formula hosted by B1.
    for (int replaced : {0, 4}) {
        SCOPED_TRACE(replaced);
        xls::Workbook book = xls::Workbook::open(xlstest::dataPath("formulas.xls"));
        book.activeSheet().setValue(replaced, 1, "7");
        xls::Bytes saved = book.toBytes();
        xls::Workbook back = xls::Workbook::fromBytes(saved, "formulas.xls");
        for (int r = 0; r < 10; ++r) {
            xls::Cell c = back.activeSheet().cell(r, 1);
            if (r == replaced) {
                EXPECT_EQ(c.kind, CellKind::Number);
                continue;
            }
            EXPECT_EQ(c.kind, CellKind::Formula) << r;
            EXPECT_EQ(c.number, 2 * (r + 1)) << r;
        }
        // The shared formula of column B follows the first FORMULA that uses it.
        auto records = xlstest::workbookRecords(saved);
        int hostRow = -1;
        for (size_t i = 1; i < records.size(); ++i) {
            const auto& r = records[i];
            if (r.type == rt::ShrFmla && r.data[4] == 1) {
                ASSERT_EQ(records[i - 1].type, rt::Formula);
                hostRow = xls::get16(records[i - 1].data.data());
                EXPECT_EQ(xls::get16(r.data.data()), hostRow);
            }
        }
        EXPECT_EQ(hostRow, replaced == 0 ? 1 : 0);
    }
}

}  // namespace
