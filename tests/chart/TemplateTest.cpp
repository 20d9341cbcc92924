#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <map>

#include "chart/Template.h"
#include "support/Records.h"
#include "support/WorkbookReader.h"
#include "xls/CompoundFile.h"
#include "xls/Record.h"
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

// ---------------------------------------------------------------- the template's records

std::vector<xls::Record> templateRecords() {
    const QByteArray bytes = chart::TemplateBytes();
    xls::CompoundFile file =
        xls::CompoundFile::parse(std::vector<uint8_t>(bytes.begin(), bytes.end()), "Pie Chart.xlt");
    return xlstest::parseRecords(file.streamData(size_t(file.findInRoot(u"Workbook"))),
                                 "Pie Chart.xlt");
}

// Reads a record's fields in order; every read past the end fails the test and gives zeros.
class Fields {
  public:
    explicit Fields(const xls::Bytes& data) : d_(data) {}
    uint8_t u8() { return have(1) ? d_[at_++] : 0; }
    uint16_t u16() {
        if (!have(2)) return 0;
        at_ += 2;
        return xls::get16(&d_[at_ - 2]);
    }
    uint32_t u32() {
        if (!have(4)) return 0;
        at_ += 4;
        return xls::get32(&d_[at_ - 4]);
    }
    xls::Bytes bytes(size_t n) {
        if (!have(n)) return {};
        at_ += n;
        return xls::Bytes(d_.begin() + long(at_ - n), d_.begin() + long(at_));
    }
    // XLUnicodeString: count, option byte, characters (8-bit or UTF-16).
    std::string text() {
        uint16_t count = u16();
        uint8_t wide = u8();
        std::string out;
        for (uint16_t i = 0; i < count; ++i) out += char(wide ? u16() : u8());
        return out;
    }
    // UTF-16 characters without count or option byte.
    std::string utf16(size_t count) {
        std::string out;
        for (size_t i = 0; i < count; ++i) out += char(u16());
        return out;
    }
    bool atEnd() const { return at_ == d_.size(); }

  private:
    bool have(size_t n) {
        EXPECT_LE(at_ + n, d_.size()) << "field past the end of the record";
        return at_ + n <= d_.size();
    }
    const xls::Bytes& d_;
    size_t at_ = 0;
};

size_t indexOf(const std::vector<xls::Record>& recs, uint16_t type, size_t from = 0) {
    for (size_t i = from; i < recs.size(); ++i)
        if (recs[i].type == type) return i;
    return recs.size();
}

// FrtHeader: the record type again, no flags, eight reserved zero bytes.
void expectFrtHeader(Fields& f, uint16_t type) {
    EXPECT_EQ(f.u16(), type);
    EXPECT_EQ(f.u16(), 0);
    EXPECT_EQ(f.bytes(8), xls::Bytes(8, 0));
}

// The table "Table1" over A3:B9 as BIFF8 stores it: FEATHDR11, FEAT11 and two LIST12 records,
// the last records of the worksheet.
TEST(TemplateRecords, TableOne) {
    const auto recs = templateRecords();
    const size_t header = indexOf(recs, 0x0871);
    ASSERT_LT(header + 4, recs.size());
    EXPECT_EQ(recs[header + 1].type, 0x0872);
    EXPECT_EQ(recs[header + 2].type, 0x0877);
    EXPECT_EQ(recs[header + 3].type, 0x0877);
    EXPECT_EQ(recs[header + 4].type, xls::rt::Eof);
    EXPECT_EQ(indexOf(recs, 0x0872, header + 2), recs.size()) << "one table";

    Fields h(recs[header].data);  // FeatHdr11
    expectFrtHeader(h, 0x0871);
    EXPECT_EQ(h.u16(), 5);           // isf: ISFLIST
    EXPECT_EQ(h.u8(), 1);            // reserved1
    EXPECT_EQ(h.u32(), 0xFFFFFFFF);  // reserved2
    EXPECT_EQ(h.u32(), 0xFFFFFFFF);  // reserved3
    EXPECT_EQ(h.u32(), 2u);          // idListNext
    EXPECT_EQ(h.u16(), 0);           // reserved4
    EXPECT_TRUE(h.atEnd());

    Fields f(recs[header + 1].data);  // Feature11
    EXPECT_EQ(f.u16(), 0x0872);       // frtRefHeaderU.rt
    EXPECT_EQ(f.u16(), 1);            // grbitFrt: fFrtRef
    for (int i = 0; i < 2; ++i) {
        if (i == 1) {
            EXPECT_EQ(f.u16(), 5);   // isf: ISFLIST
            EXPECT_EQ(f.u8(), 0);    // reserved1
            EXPECT_EQ(f.u32(), 0u);  // reserved2
            EXPECT_EQ(f.u16(), 1);   // cref2
            EXPECT_EQ(f.u32(), 0u);  // cbFeatData: to the end of the record
            EXPECT_EQ(f.u16(), 0);   // reserved3
        }
        EXPECT_EQ(f.u16(), 2);  // rwFirst: row 3
        EXPECT_EQ(f.u16(), 8);  // rwLast: row 9
        EXPECT_EQ(f.u16(), 0);  // colFirst: A
        EXPECT_EQ(f.u16(), 1);  // colLast: B
    }
    EXPECT_EQ(f.u32(), 0u);                     // lt: cells of the sheet
    EXPECT_EQ(f.u32(), 1u);                     // idList
    EXPECT_EQ(f.u32(), 1u);                     // crwHeader: one heading row
    EXPECT_EQ(f.u32(), 0u);                     // crwTotals: no totals row
    EXPECT_EQ(f.u32(), 3u);                     // idFieldNext
    EXPECT_EQ(f.u32(), 64u);                    // cbFSData
    EXPECT_EQ(f.u16(), 0);                      // rupBuild
    EXPECT_EQ(f.u16(), 0);                      // unused1
    EXPECT_EQ(f.u32(), 0x001C0000u);            // flags: verXL 12, fLoadEntryId
    EXPECT_EQ(f.u32(), 0u);                     // lPosStmCache
    EXPECT_EQ(f.u32(), 0u);                     // cbStmCache
    EXPECT_EQ(f.u32(), 0u);                     // cchStmCache
    EXPECT_EQ(f.u32(), 0u);                     // lem
    EXPECT_EQ(f.bytes(16), xls::Bytes(16, 0));  // rgbHashParam
    EXPECT_EQ(f.text(), "Table1");              // rgbName
    EXPECT_EQ(f.u16(), 2);                      // cFieldData
    EXPECT_EQ(f.text(), "1");                   // entryId
    for (const char* column : {"Asset Type", "Amount"}) {
        SCOPED_TRACE(column);
        const uint32_t id = std::string(column) == "Amount" ? 2u : 1u;
        EXPECT_EQ(f.u32(), id);                   // idField
        EXPECT_EQ(f.u32(), 0u);                   // lfdt
        EXPECT_EQ(f.u32(), 0u);                   // lfxidt
        EXPECT_EQ(f.u32(), 0u);                   // ilta: no totals formula
        EXPECT_EQ(f.u32(), 0u);                   // cbFmtAgg
        EXPECT_EQ(f.u32(), 0xFFFFFFFFu);          // istnAgg: none
        EXPECT_EQ(f.u32(), 0u);                   // flags
        EXPECT_EQ(f.u32(), 0u);                   // cbFmtInsertRow
        EXPECT_EQ(f.u32(), 0xFFFFFFFFu);          // istnInsertRow: none
        EXPECT_EQ(f.text(), std::to_string(id));  // strFieldName
        EXPECT_EQ(f.text(), column);              // strCaption
    }
    EXPECT_TRUE(f.atEnd());

    Fields style(recs[header + 2].data);  // List12, style
    expectFrtHeader(style, 0x0877);
    EXPECT_EQ(style.u16(), 1);       // lsd: List12TableStyleClientInfo
    EXPECT_EQ(style.u32(), 1u);      // idList
    EXPECT_EQ(style.u16(), 0x0004);  // fRowStripes only
    EXPECT_EQ(style.text(), "TableStyleMedium9");
    EXPECT_TRUE(style.atEnd());

    Fields name(recs[header + 3].data);  // List12, display name
    expectFrtHeader(name, 0x0877);
    EXPECT_EQ(name.u16(), 2);   // lsd: List12DisplayName
    EXPECT_EQ(name.u32(), 1u);  // idList
    EXPECT_EQ(name.text(), "Table1");
    EXPECT_EQ(name.text(), "");  // no comment
    EXPECT_TRUE(name.atEnd());
}

// TABLESTYLES follows the style records of the globals and names the default styles.
TEST(TemplateRecords, TableStyles) {
    const auto recs = templateRecords();
    const size_t at = indexOf(recs, 0x088E);
    ASSERT_LT(at, indexOf(recs, xls::rt::Eof));
    EXPECT_TRUE(recs[at - 1].type == 0x0293 || recs[at - 1].type == 0x0892);
    Fields f(recs[at].data);
    expectFrtHeader(f, 0x088E);
    EXPECT_EQ(f.u32(), 144u);  // cts: the built-in styles
    const uint16_t table = f.u16(), pivot = f.u16();
    EXPECT_EQ(f.utf16(table), "TableStyleMedium9");
    EXPECT_EQ(f.utf16(pivot), "PivotStyleLight16");
    EXPECT_TRUE(f.atEnd());
}

// The pie: first slice at 210 degrees, no hole, shadow and leader lines on; other chart text
// 10 points through the chart's default text.
TEST(TemplateRecords, PieAndDefaultText) {
    const auto recs = templateRecords();
    const size_t pie = indexOf(recs, 0x1019);
    ASSERT_LT(pie, recs.size());
    Fields p(recs[pie].data);
    EXPECT_EQ(p.u16(), 210);     // anStart
    EXPECT_EQ(p.u16(), 0);       // pcDonut
    EXPECT_EQ(p.u16(), 0x0003);  // fHasShadow, fShowLdrLines
    EXPECT_TRUE(p.atEnd());

    const size_t at = indexOf(recs, 0x1024);
    ASSERT_LT(at + 6, recs.size());
    EXPECT_EQ(recs[at - 1].type, 0x1044);  // right after SHTPROPS
    EXPECT_EQ(indexOf(recs, 0x1024, at + 1), recs.size()) << "one default text";
    Fields d(recs[at].data);
    EXPECT_EQ(d.u16(), 2);  // id: all text of the chart
    EXPECT_TRUE(d.atEnd());
    const uint16_t types[] = {0x1025, 0x1033, 0x104F, 0x1026, 0x1051, 0x1034};
    for (size_t k = 0; k < 6; ++k) EXPECT_EQ(recs[at + 1 + k].type, types[k]) << k;
    Fields t(recs[at + 1].data);                // TEXT
    EXPECT_EQ(t.u8(), 2);                       // at: centred
    EXPECT_EQ(t.u8(), 2);                       // vat: centred
    EXPECT_EQ(t.u16(), 1);                      // wBkgMode: transparent
    EXPECT_EQ(t.u32(), 0u);                     // rgbText
    EXPECT_EQ(t.bytes(16), xls::Bytes(16, 0));  // x, y, dx, dy
    EXPECT_EQ(t.u16(), 0x00B1);                 // fAutoColor, fAutoText, fGenerated, fAutoMode
    EXPECT_EQ(t.u16(), 0x004D);                 // icvText
    EXPECT_EQ(t.u16(), 0);                      // dlp, iReadingOrder
    EXPECT_EQ(t.u16(), 0);                      // trot: not rotated
    EXPECT_TRUE(t.atEnd());
    Fields pos(recs[at + 3].data);  // POS
    EXPECT_EQ(pos.u16(), 2);        // mdTopLt
    EXPECT_EQ(pos.u16(), 2);        // mdBotRt
    EXPECT_EQ(pos.bytes(16), xls::Bytes(16, 0));
    EXPECT_TRUE(pos.atEnd());
    Fields fontx(recs[at + 4].data);
    const uint16_t font = fontx.u16();
    EXPECT_TRUE(fontx.atEnd());
    Fields ai(recs[at + 5].data);  // AI: a literal text, no formula
    EXPECT_EQ(ai.u8(), 0);
    EXPECT_EQ(ai.u8(), 1);
    EXPECT_EQ(ai.u16(), 0);
    EXPECT_EQ(ai.u16(), 0);
    EXPECT_EQ(ai.u16(), 0);
    EXPECT_TRUE(ai.atEnd());

    const xls::Workbook book = embeddedTemplate();
    const xls::FontStyle& chartFont = book.styles().font(font);
    EXPECT_EQ(chartFont.heightTwips, 200);  // 10 points
    EXPECT_EQ(chartFont.weight, 400);
    EXPECT_FALSE(chartFont.italic);
    EXPECT_EQ(chartFont.name, "Constantia");
}

// The chart's records the spreadsheet application always writes, each where it writes it, field
// by field: `at` finds the record from the chart's records, `fields` reads it.
struct ChartRecordCase {
    const char* what;
    uint16_t type;
    std::function<size_t(const std::vector<xls::Record>&)> at;
    std::function<void(Fields&)> fields;
};

void PrintTo(const ChartRecordCase& c, std::ostream* os) { *os << c.what; }

class TemplateChartRecords : public ::testing::TestWithParam<ChartRecordCase> {};

TEST_P(TemplateChartRecords, AreThere) {
    const auto recs = templateRecords();
    const ChartRecordCase& c = GetParam();
    const size_t at = c.at(recs);
    ASSERT_LT(at, recs.size()) << c.what;
    ASSERT_EQ(recs[at].type, c.type) << c.what;
    Fields f(recs[at].data);
    c.fields(f);
    EXPECT_TRUE(f.atEnd()) << c.what;
}

// The chart substream's records: its BOF (dt 0x0020) up to its EOF.
std::pair<size_t, size_t> chartSubstream(const std::vector<xls::Record>& recs) {
    size_t bof = 0;
    while (bof < recs.size() && !(recs[bof].type == xls::rt::Bof && recs[bof].data.size() >= 4 &&
                                  xls::get16(&recs[bof].data[2]) == 0x0020))
        ++bof;
    return {bof, indexOf(recs, xls::rt::Eof, bof)};
}

// The data labels' TEXT groups: a TEXT whose group holds an OBJECTLINK with wLinkObj 4.
std::vector<size_t> pointLabels(const std::vector<xls::Record>& recs) {
    std::vector<size_t> out;
    for (size_t i = 0; i + 1 < recs.size(); ++i) {
        if (recs[i].type != 0x1025 || recs[i + 1].type != 0x1033) continue;
        for (size_t k = i + 2; k < recs.size() && recs[k].type != 0x1034; ++k)
            if (recs[k].type == 0x1027 && xls::get16(&recs[k].data[0]) == 4) out.push_back(i);
    }
    return out;
}

const ChartRecordCase kChartRecords[] = {
    {"Scl after the chart's BEGIN", 0x00A0, [](const auto& r) { return indexOf(r, 0x1002) + 2; },
     [](Fields& f) {
         EXPECT_EQ(f.u16(), 1);  // nscl
         EXPECT_EQ(f.u16(), 1);  // dscl
     }},
    {"PlotGrowth after Scl", 0x1064, [](const auto& r) { return indexOf(r, 0x1002) + 3; },
     [](Fields& f) {
         EXPECT_EQ(f.u32(), 0x10000u);  // dxPlotGrowth 1.0
         EXPECT_EQ(f.u32(), 0x10000u);  // dyPlotGrowth 1.0
     }},
    {"CrtLink after Pie", 0x1022, [](const auto& r) { return indexOf(r, 0x1019) + 1; },
     [](Fields& f) { EXPECT_EQ(f.bytes(10), xls::Bytes(10, 0)); }},
    {"SERIES: text categories, six points", 0x1003,
     [](const auto& r) { return indexOf(r, 0x1003); },
     [](Fields& f) {
         EXPECT_EQ(f.u16(), 3);  // sdtX: text
         EXPECT_EQ(f.u16(), 1);  // sdtY: numbers
         EXPECT_EQ(f.u16(), 6);  // cValx
         EXPECT_EQ(f.u16(), 6);  // cValy
         EXPECT_EQ(f.u16(), 1);  // sdtBSize
         EXPECT_EQ(f.u16(), 0);  // cValBSize
     }},
    {"SERIESDATA's DIMENSIONS", 0x0200, [](const auto& r) { return chartSubstream(r).second - 4; },
     [](Fields& f) {
         EXPECT_EQ(f.u32(), 0u);  // rwMic
         EXPECT_EQ(f.u32(), 6u);  // rwMac: the series' points
         EXPECT_EQ(f.u16(), 0);   // colMic
         EXPECT_EQ(f.u16(), 1);   // colMac: one series
         EXPECT_EQ(f.u16(), 0);   // reserved
     }},
    {"SIINDEX categories", 0x1065, [](const auto& r) { return chartSubstream(r).second - 3; },
     [](Fields& f) { EXPECT_EQ(f.u16(), 2); }},
    {"SIINDEX values", 0x1065, [](const auto& r) { return chartSubstream(r).second - 2; },
     [](Fields& f) { EXPECT_EQ(f.u16(), 1); }},
    {"SIINDEX bubble sizes", 0x1065, [](const auto& r) { return chartSubstream(r).second - 1; },
     [](Fields& f) { EXPECT_EQ(f.u16(), 3); }},
};

INSTANTIATE_TEST_SUITE_P(Template, TemplateChartRecords, ::testing::ValuesIn(kChartRecords));

// Every data label (the series' and each of the six points') starts its group with a Pos:
// relative to the label's default place, no offset.
TEST(TemplateRecords, EveryDataLabelHasAPos) {
    const auto recs = templateRecords();
    const std::vector<size_t> labels = pointLabels(recs);
    ASSERT_EQ(labels.size(), 7u);
    for (size_t text : labels) {
        SCOPED_TRACE("TEXT at record " + std::to_string(text));
        ASSERT_EQ(recs[text + 2].type, 0x104F);
        Fields pos(recs[text + 2].data);
        EXPECT_EQ(pos.u16(), 2);  // mdTopLt
        EXPECT_EQ(pos.u16(), 2);  // mdBotRt
        EXPECT_EQ(pos.bytes(16), xls::Bytes(16, 0));
        EXPECT_TRUE(pos.atEnd());
    }
}

// The compound file's directory: a valid red-black tree (the root black, no red node with a red
// child) and unused entries blank (no name, no links, zeros elsewhere).
TEST(TemplateRecords, DirectoryIsAValidRedBlackTree) {
    const QByteArray file = chart::TemplateBytes();
    const auto* d = reinterpret_cast<const uint8_t*>(file.constData());
    ASSERT_GE(file.size(), 512);
    const size_t fatSectors = xls::get32(d + 44);
    ASSERT_LE(fatSectors, 109u);
    auto sector = [&](uint32_t n) { return size_t(n + 1) * 512; };
    std::vector<uint32_t> fat;
    for (size_t k = 0; k < fatSectors; ++k) {
        const size_t at = sector(xls::get32(d + 76 + 4 * k));
        ASSERT_LE(at + 512, size_t(file.size()));
        for (size_t i = 0; i < 128; ++i) fat.push_back(xls::get32(d + at + 4 * i));
    }
    std::vector<const uint8_t*> entries;
    for (uint32_t n = xls::get32(d + 48); n != 0xFFFFFFFE; n = fat.at(n)) {
        ASSERT_LE(sector(n) + 512, size_t(file.size()));
        ASSERT_LT(entries.size(), 4096u) << "the directory's chain loops";
        for (size_t i = 0; i < 4; ++i) entries.push_back(d + sector(n) + 128 * i);
    }
    ASSERT_GE(entries.size(), 6u);
    constexpr uint8_t kRed = 0, kBlack = 1;
    constexpr uint32_t kNoStream = 0xFFFFFFFF;
    const uint32_t root = xls::get32(entries[0] + 76);
    ASSERT_LT(root, entries.size());
    EXPECT_EQ(entries[root][67], kBlack) << "the tree's root";
    size_t used = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const uint8_t* e = entries[i];
        SCOPED_TRACE("directory entry " + std::to_string(i));
        if (e[66] == 0) {  // unused
            xls::Bytes blank(128, 0);
            for (size_t k = 68; k < 80; ++k) blank[k] = 0xFF;
            EXPECT_EQ(xls::Bytes(e, e + 128), blank);
            continue;
        }
        ++used;
        EXPECT_TRUE(e[67] == kRed || e[67] == kBlack);
        for (size_t link : {68, 72}) {
            const uint32_t child = xls::get32(e + link);
            if (child == kNoStream) continue;
            ASSERT_LT(child, entries.size());
            EXPECT_FALSE(e[67] == kRed && entries[child][67] == kRed) << "red child of red";
        }
    }
    EXPECT_EQ(used, 6u);
}

// Text properties of a property set stream with one section: id -> text (VT_LPSTR).
std::map<uint32_t, std::string> propertyTexts(const xls::Bytes& s) {
    std::map<uint32_t, std::string> out;
    if (s.size() < 48) return out;
    const size_t at = xls::get32(&s[44]);
    if (at + 8 > s.size()) return out;
    const uint32_t count = xls::get32(&s[at + 4]);
    for (uint32_t i = 0; i < count && at + 16 + 8 * i <= s.size(); ++i) {
        const uint32_t id = xls::get32(&s[at + 8 + 8 * i]);
        const size_t value = at + xls::get32(&s[at + 12 + 8 * i]);
        if (value + 8 > s.size() || xls::get32(&s[value]) != 0x001E) continue;
        const uint32_t n = xls::get32(&s[value + 4]);
        if (value + 8 + n > s.size() || n == 0) continue;
        out[id] = std::string(s.begin() + long(value + 8), s.begin() + long(value + 8 + n - 1));
    }
    return out;
}

TEST(TemplateRecords, SummaryInformation) {
    const QByteArray bytes = chart::TemplateBytes();
    xls::CompoundFile file =
        xls::CompoundFile::parse(std::vector<uint8_t>(bytes.begin(), bytes.end()), "Pie Chart.xlt");
    const int stream = file.findInRoot(u"\u0005SummaryInformation");
    ASSERT_GE(stream, 0);
    const auto texts = propertyTexts(file.streamData(size_t(stream)));
    ASSERT_TRUE(texts.count(0x02));
    ASSERT_TRUE(texts.count(0x12));
    EXPECT_EQ(texts.at(0x02), "21st century pie chart");  // PIDSI_TITLE
    EXPECT_EQ(texts.at(0x12), "Microsoft Excel");         // PIDSI_APPNAME
}

}  // namespace
