#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "RecordDump.h"
#include "TestFiles.h"
#include "xls/CompoundFile.h"
#include "xls/Workbook.h"

namespace {

namespace rt = xls::rt;
using xls::CellKind;

// The workbook as saved, opened again; both cell tables sound.
xls::Workbook reopen(xls::Workbook& book) {
    xlstest::expectSoundCellTables(book);
    xls::Workbook back = xls::Workbook::fromBytes(book.toBytes(), "reopened.xls");
    xlstest::expectSoundCellTables(back);
    return back;
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
    xlstest::expectSoundCellTables(book);
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
    xlstest::expectSoundCellTables(book);
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

// A string of the shared string table as a reader that follows the format sees it, and where
// it starts in the Workbook stream.
struct TableString {
    std::u16string chars;
    xls::Bytes runs, ext;  // formatting runs (4 bytes each) and phonetic data
    size_t pos = 0;
};

struct Table {
    std::vector<TableString> strings;
    std::vector<size_t> records;  // where the SST and each of its CONTINUE records start
    xls::Bytes extSst;            // the EXTSST record's data
};

xls::Bytes workbookStream(const xls::Bytes& file) {
    auto cf = xls::CompoundFile::parse(file, "file");
    return cf.entries()[size_t(cf.findInRoot(u"Workbook"))].data;
}

// Reads the SST, its CONTINUE records and the EXTSST of a Workbook stream. Characters that go on
// in a CONTINUE record follow that record's own option byte; runs and phonetic data just go on.
Table readTable(const xls::Bytes& stream) {
    Table t;
    bool inTable = false;
    for (size_t pos = 0; pos + 4 <= stream.size(); pos += 4 + xls::get16(&stream[pos + 2])) {
        const uint16_t type = xls::get16(&stream[pos]);
        inTable = type == rt::Sst || (inTable && type == rt::Continue);
        if (inTable) t.records.push_back(pos);
        if (type == rt::ExtSst)
            t.extSst.assign(stream.begin() + long(pos) + 4,
                            stream.begin() + long(pos) + 4 + xls::get16(&stream[pos + 2]));
    }
    if (t.records.empty()) return t;
    size_t record = 0, at = t.records[0] + 4 + 8;
    auto room = [&] {
        return t.records[record] + 4 + xls::get16(&stream[t.records[record] + 2]) - at;
    };
    auto next = [&] {
        if (++record == t.records.size())
            throw std::runtime_error("the table runs past its records");
        at = t.records[record] + 4;
    };
    auto byte = [&] {
        if (room() == 0) next();
        return stream[at++];
    };
    const uint32_t count = xls::get32(&stream[t.records[0] + 8]);
    for (uint32_t i = 0; i < count; ++i) {
        if (room() == 0) next();
        TableString s;
        s.pos = at;
        size_t cch = byte();
        cch |= size_t(byte()) << 8;
        const uint8_t flags = byte();
        size_t runs = 0, ext = 0;
        if (flags & 8) {
            runs = byte();
            runs |= size_t(byte()) << 8;
        }
        if (flags & 4)
            for (int k = 0; k < 4; ++k) ext |= size_t(byte()) << (8 * k);
        bool wide = flags & 1;
        while (s.chars.size() < cch) {
            if (room() == 0) {
                next();
                wide = stream[at++] & 1;
            } else if (wide) {
                s.chars += char16_t(xls::get16(&stream[at]));
                at += 2;
            } else {
                s.chars += char16_t(stream[at++]);
            }
        }
        for (size_t k = 0; k < 4 * runs; ++k) s.runs.push_back(byte());
        for (size_t k = 0; k < ext; ++k) s.ext.push_back(byte());
        t.strings.push_back(s);
    }
    return t;
}

// `file` with its shared string table replaced by `strings`, all in one SST record (longer than
// Excel's records, as a reader may meet them) and without EXTSST.
xls::Bytes withTable(const xls::Bytes& file, const std::vector<TableString>& strings) {
    xls::Bytes sst;
    xls::put32(sst, uint32_t(strings.size()));
    xls::put32(sst, uint32_t(strings.size()));
    for (const TableString& s : strings) {
        const bool wide =
            std::any_of(s.chars.begin(), s.chars.end(), [](char16_t c) { return c > 0xFF; });
        xls::put16(sst, uint16_t(s.chars.size()));
        xls::put8(sst,
                  uint8_t((wide ? 1 : 0) | (s.ext.empty() ? 0 : 4) | (s.runs.empty() ? 0 : 8)));
        if (!s.runs.empty()) xls::put16(sst, uint16_t(s.runs.size() / 4));
        if (!s.ext.empty()) xls::put32(sst, uint32_t(s.ext.size()));
        for (char16_t c : s.chars) {
            if (wide)
                xls::put16(sst, c);
            else
                xls::put8(sst, uint8_t(c));
        }
        sst.insert(sst.end(), s.runs.begin(), s.runs.end());
        sst.insert(sst.end(), s.ext.begin(), s.ext.end());
    }
    auto cf = xls::CompoundFile::parse(file, "file");
    const size_t index = size_t(cf.findInRoot(u"Workbook"));
    const xls::Bytes& in = cf.entries()[index].data;
    xls::Bytes out;
    std::vector<size_t> sheetPositions;  // BOUNDSHEET records' stream position fields
    long shift = 0;                      // how much longer the globals are now
    bool inTable = false;
    for (size_t pos = 0; pos + 4 <= in.size(); pos += 4 + xls::get16(&in[pos + 2])) {
        const uint16_t type = xls::get16(&in[pos]);
        const size_t size = xls::get16(&in[pos + 2]);
        inTable = type == rt::Sst || (inTable && type == rt::Continue);
        if (type == rt::Sst) {
            xls::writeRecord(out, rt::Sst, sst.data(), sst.size());
            shift += long(4 + sst.size());
        }
        if (inTable || type == rt::ExtSst) {
            shift -= long(4 + size);
            continue;
        }
        if (type == rt::BoundSheet) sheetPositions.push_back(out.size() + 4);
        xls::writeRecord(out, type, &in[pos + 4], size);
    }
    for (size_t at : sheetPositions)
        xls::set32(&out[at], uint32_t(long(xls::get32(&out[at])) + shift));
    cf.putStream(u"Workbook", out);
    return cf.serialize();
}

// Adding a string rebuilds the table: the strings read keep their characters, formatting runs
// and phonetic data wherever the 8,224-byte records now split them, and EXTSST points at every
// dsst-th string (its stream position and its offset in its record). A table left alone keeps
// its records, and EXTSST still points at its strings.
TEST(SharedStrings, TheStringsReadAndTheIndexSurviveARebuiltTable) {
    const xls::Bytes chart = xlstest::readBytes(xlstest::dataPath("chart.xls"));
    std::vector<TableString> handmade = readTable(workbookStream(chart)).strings;
    size_t bytes = 8;
    for (const TableString& s : handmade) bytes += 3 + s.chars.size();
    for (int i = 0; bytes < xls::kMaxRecordData - 20; ++i) {
        std::string text = "filler " + std::to_string(i);
        handmade.push_back({std::u16string(text.begin(), text.end()), {}, {}});
        bytes += 3 + text.size();
    }
    // Phonetic data straddling where the first record ends once written back.
    const size_t straddling = handmade.size();
    handmade.push_back({u"\u65E5\u672C\u8A9E", {0, 0, 5, 0, 2, 0, 6, 0}, xls::Bytes(40, 0xA5)});
    handmade.push_back({u"\u00C4pfel", {}, {}});
    handmade.push_back({u"smile \U0001F600", {1, 0, 5, 0}, {}});
    for (int i = 0; i < 30; ++i) {
        std::string text = "after " + std::to_string(i);
        handmade.push_back({std::u16string(text.begin(), text.end()), {}, {}});
    }
    struct Case {
        const char* what;
        xls::Bytes file;
        std::vector<std::string> added;  // the first of them new to the table
        size_t newStrings;
        size_t straddling;  // a string that must end in a later record than it starts
    };
    const xls::Bytes strings = xlstest::readBytes(xlstest::dataPath("strings.xls"));
    const Case cases[] = {
        {"rich strings crossing CONTINUE records", strings, {"brand new"}, 1, 137},
        {"the table left alone", strings, {}, 0, 137},
        {"phonetic data crossing a record",
         withTable(chart, handmade),
         {"new", "Savings"},
         1,
         straddling},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Table before = readTable(workbookStream(c.file));
        xls::Workbook book = xls::Workbook::fromBytes(c.file, "table.xls");
        for (size_t i = 0; i < c.added.size(); ++i)
            book.activeSheet().setValue(40 + int(i), 5, c.added[i]);
        const xls::Bytes stream = workbookStream(book.toBytes());
        const Table after = readTable(stream);
        ASSERT_EQ(after.strings.size(), before.strings.size() + c.newStrings);
        for (size_t i = 0; i < before.strings.size(); ++i) {
            EXPECT_EQ(after.strings[i].chars, before.strings[i].chars) << "string " << i;
            EXPECT_EQ(after.strings[i].runs, before.strings[i].runs) << "string " << i;
            EXPECT_EQ(after.strings[i].ext, before.strings[i].ext) << "string " << i;
        }
        if (c.newStrings > 0) {
            EXPECT_EQ(after.strings[before.strings.size()].chars,
                      std::u16string(c.added[0].begin(), c.added[0].end()));
        }
        auto recordOf = [&](size_t pos) {
            return *(std::upper_bound(after.records.begin(), after.records.end(), pos) - 1);
        };
        for (size_t start : after.records)
            EXPECT_LE(xls::get16(&stream[start + 2]), xls::kMaxRecordData);
        const size_t s = c.straddling;
        EXPECT_NE(recordOf(after.strings[s].pos), recordOf(after.strings[s + 1].pos - 1));
        ASSERT_GE(after.extSst.size(), 2u);
        const size_t dsst = xls::get16(after.extSst.data());
        ASSERT_GE(dsst, 8u);
        ASSERT_EQ(after.extSst.size(), 2 + 8 * ((after.strings.size() + dsst - 1) / dsst));
        for (size_t k = 0; k * dsst < after.strings.size(); ++k) {
            const uint8_t* entry = &after.extSst[2 + 8 * k];
            const size_t pos = after.strings[k * dsst].pos;
            EXPECT_EQ(xls::get32(entry), pos) << "entry " << k;
            EXPECT_EQ(xls::get16(entry + 4), pos - recordOf(pos)) << "entry " << k;
        }
    }
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
    for (const xls::Record& r : xlstest::parseRecords(stream, "s")) {
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
        xlstest::expectSoundCellTables(book);
        xls::Bytes saved = book.toBytes();
        xls::Workbook back = xls::Workbook::fromBytes(saved, "formulas.xls");
        xlstest::expectSoundCellTables(back);
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
