#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "ChartGrammar.h"
#include "RecordDump.h"
#include "TestFiles.h"
#include "xls/ChartPointColors.h"
#include "xls/CompoundFile.h"
#include "xls/Palette.h"
#include "xls/Workbook.h"

namespace {

// Fills a sheet the way the program does: clear the six sample rows, then write entry i to row
// i + 3 (1-based), label in A and amount in B, with the amount format when one is given.
void fillLikeTheProgram(xls::Sheet& s, int entries, const char* amountFormat = nullptr) {
    for (int row = 3; row <= 8; ++row) {
        s.setValue(row, 0, "");
        s.setValue(row, 1, "");
    }
    for (int i = 0; i < entries; ++i) {
        s.setValue(3 + i, 0, "Asset " + std::to_string(i + 1));
        s.setValue(3 + i, 1, std::to_string(1000 * (i + 1)));
        if (amountFormat) s.setNumberFormat(3 + i, 1, amountFormat);
    }
}

std::vector<ChartRef> refsAfterFilling(int entries, const char* file = "chart.xlt") {
    xls::Workbook book = xls::Workbook::open(xlstest::dataPath(file));
    fillLikeTheProgram(book.activeSheet(), entries, "$#,##0_);($#,##0)");
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

namespace {

constexpr uint16_t kDataFormat = 0x1006, kLineFormat = 0x1007, kAreaFormat = 0x100A,
                   kPieFormat = 0x100B, kAttachedLabel = 0x100C, kText = 0x1025,
                   kObjectLink = 0x1027, kBegin = 0x1033, kEnd = 0x1034;

// One DATAFORMAT or TEXT group of a saved chart: its records, BEGIN .. END left out.
struct ChartGroup {
    std::vector<xls::Record> records;
    const xls::Record* child(uint16_t type) const {
        for (const auto& r : records)
            if (r.type == type) return &r;
        return nullptr;
    }
};

// The groups that begin with a record of `type`, in stream order.
std::vector<ChartGroup> groupsOf(const std::vector<xls::Record>& recs, uint16_t type) {
    std::vector<ChartGroup> out;
    for (size_t i = 0; i + 1 < recs.size(); ++i) {
        if (recs[i].type != type || recs[i + 1].type != kBegin) continue;
        ChartGroup g;
        g.records.push_back(recs[i]);
        int depth = 0;
        for (size_t j = i + 1; j < recs.size(); ++j) {
            if (recs[j].type == kBegin) ++depth;
            if (recs[j].type == kEnd && --depth == 0) break;
            if (depth == 1 && recs[j].type != kBegin) g.records.push_back(recs[j]);
        }
        out.push_back(std::move(g));
    }
    return out;
}

uint32_t rgbAt(const uint8_t* p) { return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]; }

// The saved chart's per-point formats and point labels after filling `entries` rows.
struct SavedPoints {
    std::vector<ChartGroup> formats;  // per point, index = xi
    std::vector<ChartGroup> labels;   // per point, index = wLinkVar2
    int seriesFormats = 0;            // DATAFORMAT groups with xi 0xFFFF
    uint16_t seriesCount = 0;         // SERIES cValy
    std::vector<xls::Rgb> palette;
};

SavedPoints pointsAfterFilling(const std::string& path, int entries) {
    xls::Workbook book = xls::Workbook::open(path);
    fillLikeTheProgram(book.activeSheet(), entries);
    SavedPoints out;
    out.palette = book.styles().palette();
    auto recs = xlstest::workbookRecords(book.toBytes(false));
    for (const auto& r : recs)
        if (r.type == xls::rt::Series) out.seriesCount = xls::get16(&r.data[6]);
    for (auto& g : groupsOf(recs, kDataFormat)) {
        uint16_t xi = xls::get16(&g.records[0].data[0]);
        if (xi == 0xFFFF) {
            ++out.seriesFormats;
            continue;
        }
        EXPECT_EQ(xi, out.formats.size()) << "per-point formats in point order, once each";
        out.formats.push_back(std::move(g));
    }
    for (auto& g : groupsOf(recs, kText)) {
        const xls::Record* link = g.child(kObjectLink);
        if (!link || xls::get16(&link->data[0]) != 4 || xls::get16(&link->data[4]) == 0xFFFF)
            continue;
        EXPECT_EQ(xls::get16(&link->data[4]), out.labels.size());
        out.labels.push_back(std::move(g));
    }
    return out;
}

std::string templatePath() {
    return std::string(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt";
}

// Every point past the first six carries the sixth point's format field by field, except the
// point index and the fill colour, which is its own while the palette has colours left (the
// template's has 46 for slices) and then repeats the colours from the first slice on.
TEST(ChartPointFormats, NewPointsTakeTheFormatOfTheExistingOnes) {
    struct Case {
        std::string path;
        int entries;
        bool labelsPerPoint;  // the chart has a TEXT group per point label
        int colours;          // slices with a colour of their own, the first ones
    };
    const Case cases[] = {
        {xlstest::dataPath("chart.xlt"), 9, false, 9},
        {xlstest::dataPath("chart.xlt"), 40, false, 40},
        {xlstest::dataPath("gnumeric-chart.xls"), 9, false, 9},
        {xlstest::dataPath("gnumeric-chart.xls"), 40, false, 40},
        {templatePath(), 9, true, 9},
        {templatePath(), 40, true, 40},
        {templatePath(), 100, true, 46},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + ", " + std::to_string(c.entries) + " entries");
        SavedPoints saved = pointsAfterFilling(c.path, c.entries);
        EXPECT_EQ(saved.seriesCount, c.entries);
        EXPECT_EQ(saved.seriesFormats, 1);
        ASSERT_EQ(saved.formats.size(), size_t(c.entries));
        const ChartGroup& sixth = saved.formats[5];
        std::vector<uint32_t> colors;
        for (int p = 0; p < c.entries; ++p) {
            SCOPED_TRACE("point " + std::to_string(p));
            const ChartGroup& g = saved.formats[size_t(p)];
            ASSERT_EQ(g.records.size(), sixth.records.size());
            const xls::Bytes& df = g.records[0].data;
            EXPECT_EQ(xls::get16(&df[0]), p);                                      // xi
            EXPECT_EQ(xls::get16(&df[2]), xls::get16(&sixth.records[0].data[2]));  // yi
            EXPECT_EQ(xls::get16(&df[4]), xls::get16(&sixth.records[0].data[4]));  // iss
            EXPECT_EQ(xls::get16(&df[6]), xls::get16(&sixth.records[0].data[6]));  // flags
            for (uint16_t type : {kLineFormat, kPieFormat, kAttachedLabel}) {
                ASSERT_EQ(g.child(type) != nullptr, sixth.child(type) != nullptr);
                if (g.child(type)) {
                    EXPECT_EQ(g.child(type)->data, sixth.child(type)->data);
                }
            }
            const xls::Record* area = g.child(kAreaFormat);
            ASSERT_NE(area, nullptr);
            const xls::Bytes& a = area->data;
            const xls::Bytes& a6 = sixth.child(kAreaFormat)->data;
            colors.push_back(rgbAt(&a[0]));  // rgbFore
            EXPECT_EQ(a[3], 0);
            EXPECT_EQ(xls::Bytes(a.begin() + 4, a.begin() + 12),     // rgbBack, fls,
                      xls::Bytes(a6.begin() + 4, a6.begin() + 12));  // flags
            EXPECT_EQ(a[10] & 1, 0) << "not automatic";
            // icvFore: the palette entry of that very colour, as readers take it from there
            const uint16_t icv = xls::get16(&a[12]);
            ASSERT_GE(icv, 8);
            ASSERT_LT(icv, 64);
            if (p >= 6 || c.path == templatePath()) {
                EXPECT_TRUE(saved.palette[icv - 8] == (xls::Rgb{a[0], a[1], a[2]})) << icv;
            }
            EXPECT_EQ(xls::get16(&a[14]), xls::get16(&a6[14]));  // icvBack
        }
        std::vector<uint32_t> sorted(colors.begin(), colors.begin() + c.colours);
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end())
            << "every point has a fill colour of its own";
        for (size_t k = size_t(c.colours); k < colors.size(); ++k)
            EXPECT_EQ(colors[k], colors[k - size_t(c.colours)]) << "slice " << k + 1 << " repeats";
        EXPECT_EQ(std::count(colors.begin(), colors.end(), 0xFFFFFFu), 0);
        if (!c.labelsPerPoint) {
            EXPECT_TRUE(saved.labels.empty());
            continue;
        }
        ASSERT_EQ(saved.labels.size(), size_t(c.entries));
        for (int p = 6; p < c.entries; ++p) {
            const ChartGroup& g = saved.labels[size_t(p)];
            const ChartGroup& six = saved.labels[5];
            ASSERT_EQ(g.records.size(), six.records.size());
            for (size_t k = 0; k < g.records.size(); ++k) {
                const xls::Bytes& d = g.records[k].data;
                const xls::Bytes& d6 = six.records[k].data;
                ASSERT_EQ(g.records[k].type, six.records[k].type);
                ASSERT_EQ(d.size(), d6.size());
                if (g.records[k].type == kObjectLink) {
                    EXPECT_EQ(xls::get16(&d[0]), 4);  // wLinkObj: series or point
                    EXPECT_EQ(xls::get16(&d[2]), 0);  // wLinkVar1: the series
                    EXPECT_EQ(xls::get16(&d[4]), p);  // wLinkVar2: the point
                } else if (g.records[k].type == 0x0852 || g.records[k].type == 0x0853) {
                    // STARTBLOCK / ENDBLOCK: rt, grbitFrt, iObjectKind, iObjectContext as the
                    // sixth's; iObjectInstance1 the point; iObjectInstance2 as the sixth's.
                    EXPECT_EQ(xls::Bytes(d.begin(), d.begin() + 8),
                              xls::Bytes(d6.begin(), d6.begin() + 8));
                    EXPECT_EQ(xls::get16(&d[8]), p);
                    EXPECT_EQ(xls::get16(&d[10]), xls::get16(&d6[10]));
                } else {
                    EXPECT_EQ(d, d6);
                }
            }
        }
    }
}

// The colours of new points and their palette indexes are remembered per thread between saves:
// a save gives the same file whatever was saved before it. Each case is saved first in a thread
// of its own, then in one thread after every case, in both orders, and must come out the same.
TEST(ChartPointFormats, ASaveDoesNotDependOnTheSavesBeforeIt) {
    // The template again, with the same palette but its first slice in another colour (the
    // default palette's entry 24, which new points are offered early): the same palette, other
    // colours asked for.
    xls::Bytes recoloured = xlstest::readBytes(templatePath());
    const uint8_t areaFormat[] = {0x0A, 0x10, 0x10, 0x00};
    auto area = std::search(recoloured.begin(), recoloured.end(), std::begin(areaFormat),
                            std::end(areaFormat));
    ASSERT_NE(area, recoloured.end());
    std::copy_n("\x99\x99\xFF", 3, area + 4);
    // chart.xlt with palette entry 8 a copy of entry 30: the same colours asked for in the same
    // order, and entry 30's colour named by index 8.
    xls::Bytes repaletted = xlstest::readBytes(xlstest::dataPath("chart.xlt"));
    const uint8_t palette[] = {0x92, 0x00, 0xE2, 0x00};
    auto entries = std::search(repaletted.begin(), repaletted.end(), std::begin(palette),
                               std::end(palette));
    ASSERT_NE(entries, repaletted.end());
    auto entry = [&](int index) { return entries + 6 + 4 * (index - 8); };
    std::copy_n(entry(30), 4, entry(8));
    struct Case {
        std::string name;
        xls::Bytes bytes;
        int entries;
    };
    auto file = [](const std::string& path) { return xlstest::readBytes(path); };
    const std::vector<Case> cases = {
        {"chart.xlt", file(xlstest::dataPath("chart.xlt")), 40},
        {"repaletted chart.xlt", repaletted, 40},
        {"gnumeric-chart.xls", file(xlstest::dataPath("gnumeric-chart.xls")), 9},
        {"template", file(templatePath()), 40},
        {"recoloured template", recoloured, 40},
        {"gnumeric-chart.xls", file(xlstest::dataPath("gnumeric-chart.xls")), 40},
        {"template", file(templatePath()), 9},
        {"chart.xlt", file(xlstest::dataPath("chart.xlt")), 12},
    };
    auto save = [](const Case& c) {
        xls::Workbook book = xls::Workbook::fromBytes(c.bytes, c.name);
        fillLikeTheProgram(book.activeSheet(), c.entries);
        return book.toBytes(false);
    };
    std::vector<xls::Bytes> alone(cases.size()), after(cases.size()), before(cases.size());
    for (size_t i = 0; i < cases.size(); ++i)
        std::thread([&] { alone[i] = save(cases[i]); }).join();
    std::thread([&] {
        for (size_t i = 0; i < cases.size(); ++i) after[i] = save(cases[i]);
        for (size_t i = cases.size(); i-- > 0;) before[i] = save(cases[i]);
    }).join();
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name + ", " + std::to_string(cases[i].entries) + " entries");
        EXPECT_TRUE(after[i] == alone[i]);
        EXPECT_TRUE(before[i] == alone[i]);
    }
}

TEST(ChartPointFormats, NextColoursArePaletteEntriesDistinctThenRepeated) {
    struct Case {
        const char* what;
        std::vector<xls::Rgb> used;
        size_t count;
        std::vector<xls::Rgb> first;  // expected start of the answer
        size_t fresh;                 // new colours before they repeat
    };
    // A palette as LibreOffice writes it: some of its chart colours among the entries.
    std::vector<xls::Rgb> palette = xls::defaultPalette();
    palette[30 - 8] = {0xAE, 0xCF, 0x00};
    palette[40 - 8] = {0x31, 0x40, 0x04};
    std::vector<xls::Rgb> distinctEntries;  // of the palette, white left out
    for (xls::Rgb c : palette)
        if (!(c == xls::Rgb{0xFF, 0xFF, 0xFF}) &&
            std::find(distinctEntries.begin(), distinctEntries.end(), c) == distinctEntries.end())
            distinctEntries.push_back(c);
    const std::vector<xls::Rgb> six = {{0x00, 0x45, 0x86}, {0xFF, 0x42, 0x0E}, {0xFF, 0xD3, 0x20},
                                       {0x57, 0x9D, 0x1C}, {0x7E, 0x00, 0x21}, {0x83, 0xCA, 0xFF}};
    const Case cases[] = {
        // LibreOffice's sequence goes on with 314004 and AECF00 (both in the palette; 4B1F6F
        // is not), then the palette from index 24 on: 9999FF, 993366, pale FFFFCC and
        // CCFFFF left out, 660066.
        {"LibreOffice's six",
         six,
         34,
         {{0x31, 0x40, 0x04},
          {0xAE, 0xCF, 0x00},
          {0x99, 0x99, 0xFF},
          {0x99, 0x33, 0x66},
          {0x66, 0x00, 0x66}},
         34},
        // Not a known sequence: the palette from the chart fills on, without the background.
        {"own colours",
         {{0x10, 0x20, 0x30}, {0x99, 0x99, 0xFF}},
         200,
         {{0x66, 0x00, 0x66}, {0xFF, 0x80, 0x80}},
         distinctEntries.size() - 2},
        {"many", {}, 200, {}, distinctEntries.size()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<xls::Rgb> background = {{0x99, 0x33, 0x66}};
        std::vector<xls::Rgb> next = xls::nextPointColors(
            c.used, palette, c.count, c.used.size() == 2 ? background : std::vector<xls::Rgb>{});
        ASSERT_EQ(next.size(), c.count);
        for (size_t k = 0; k < c.first.size(); ++k) EXPECT_EQ(next[k], c.first[k]) << k;
        // Every colour is an entry of the palette, so that its index names it.
        for (size_t k = 0; k < next.size(); ++k)
            EXPECT_NE(std::find(palette.begin(), palette.end(), next[k]), palette.end()) << k;
        // The fresh ones share no colour with each other, the used ones or the background.
        ASSERT_LE(c.fresh, next.size());
        std::vector<xls::Rgb> all = c.used;
        all.insert(all.end(), next.begin(), next.begin() + long(c.fresh));
        if (c.used.size() == 2) all.push_back(background[0]);
        for (size_t i = 0; i < all.size(); ++i)
            for (size_t j = i + 1; j < all.size(); ++j)
                EXPECT_FALSE(all[i] == all[j]) << i << " and " << j << " share a colour";
        for (size_t k = 0; k < c.fresh && k < 30; ++k)
            EXPECT_FALSE(next[k].r >= 0xC0 && next[k].g >= 0xC0 && next[k].b >= 0xC0) << "pale";
        EXPECT_EQ(std::count(next.begin(), next.end(), xls::Rgb{0xFF, 0xFF, 0xFF}), 0);
        // Then the colours repeat in the points' order: the used ones in the palette, the fresh.
        std::vector<xls::Rgb> cycle;
        for (xls::Rgb u : c.used)
            if (std::find(palette.begin(), palette.end(), u) != palette.end()) cycle.push_back(u);
        cycle.insert(cycle.end(), next.begin(), next.begin() + long(c.fresh));
        for (size_t k = c.fresh; k < next.size(); ++k)
            EXPECT_EQ(next[k], cycle[(k - c.fresh) % cycle.size()]) << k;
    }
}

// A chart whose points share the series format (no per-point DATAFORMAT) gains no records.
TEST(ChartPointFormats, SharedSeriesFormatStaysAsItIs) {
    xls::Bytes file = xlstest::readBytes(xlstest::dataPath("chart.xlt"));
    xls::CompoundFile cf = xls::CompoundFile::parse(file, "chart.xlt");
    size_t stream = size_t(cf.findInRoot(u"Workbook"));
    std::vector<xls::Record> recs = xlstest::parseRecords(cf.streamData(stream), "chart.xlt");
    std::vector<xls::Record> kept;
    for (size_t i = 0; i < recs.size(); ++i) {
        bool perPoint = (recs[i].type == kDataFormat && xls::get16(&recs[i].data[0]) != 0xFFFF);
        bool pointLabel = false;
        if (recs[i].type == kText)
            for (size_t j = i + 1; j < recs.size() && recs[j].type != kEnd; ++j)
                if (recs[j].type == kObjectLink && xls::get16(&recs[j].data[0]) == 4 &&
                    xls::get16(&recs[j].data[4]) != 0xFFFF)
                    pointLabel = true;
        if (perPoint || pointLabel) {  // skip the record and its group
            int depth = 0;
            size_t j = i + 1;
            for (; j < recs.size(); ++j) {
                if (recs[j].type == kBegin) ++depth;
                if (recs[j].type == kEnd && --depth == 0) break;
            }
            i = j;
            continue;
        }
        kept.push_back(recs[i]);
    }
    xls::Bytes stripped;
    for (const auto& r : kept) xls::writeRecord(stripped, r);
    cf.streamData(stream) = stripped;
    xls::Workbook book = xls::Workbook::fromBytes(cf.serialize(), "shared.xlt");
    for (int row = 9; row < 14; ++row) {
        book.activeSheet().setValue(row, 0, "x");
        book.activeSheet().setValue(row, 1, "1");
    }
    auto saved = xlstest::workbookRecords(book.toBytes());
    EXPECT_EQ(groupsOf(saved, kDataFormat).size(), 1u);
    size_t texts = 0;
    for (const auto& r : kept) texts += r.type == kText;
    EXPECT_EQ(groupsOf(saved, kText).size(), texts);
    for (const auto& r : saved)
        if (r.type == xls::rt::Series) {
            EXPECT_EQ(xls::get16(&r.data[6]), 11);
        }
}

// The template, and the template filled with n entries, follow the documented grammar of the
// chart substream record for record. The series covers at most 3,999 points: SERIES counts,
// the series data's DIMENSIONS and the references' last row stop there; the table covers every
// entry.
class ChartGrammarOfFilledTemplate : public ::testing::TestWithParam<int> {};

TEST_P(ChartGrammarOfFilledTemplate, FitsAndStopsAt3999Points) {
    const int entries = GetParam();  // 0: the template as it is
    xls::Workbook book = xls::Workbook::open(templatePath());
    if (entries > 0) fillLikeTheProgram(book.activeSheet(), entries);
    const auto recs = xlstest::workbookRecords(book.toBytes(entries == 0));
    const int points = entries == 0 ? 6 : std::min(entries, xls::kMaxSeriesPoints);
    const int tableLast = entries == 0 ? 8 : 3 + entries - 1;  // 0-based rows

    int charts = 0;
    for (size_t i = 0; i < recs.size(); ++i) {
        if (recs[i].type != xls::rt::Bof || xls::get16(&recs[i].data[2]) != 0x0020) continue;
        size_t eof = i;
        while (eof < recs.size() && recs[eof].type != xls::rt::Eof) ++eof;
        ASSERT_LT(eof, recs.size());
        const std::vector<xls::Record> chart(recs.begin() + long(i), recs.begin() + long(eof) + 1);
        EXPECT_EQ(xlstest::checkChartGrammar(chart), "");
        ++charts;
        for (const xls::Record& r : chart) {
            if (r.type == xls::rt::Series) {
                EXPECT_EQ(xls::get16(&r.data[4]), points) << "cValx";
                EXPECT_EQ(xls::get16(&r.data[6]), points) << "cValy";
            }
            if (r.type == xls::rt::Dimensions) {
                EXPECT_EQ(xls::get32(&r.data[4]), uint32_t(points)) << "the series data's rwMac";
            }
        }
    }
    EXPECT_EQ(charts, 1);
    int references = 0;
    for (const ChartRef& ref : xlstest::chartRefs(recs)) {
        if (ref.id != 1 && ref.id != 2) continue;
        ++references;
        EXPECT_EQ(ref.firstRow, 3);
        EXPECT_EQ(ref.lastRow, 3 + points - 1) << "reference " << ref.id;
    }
    EXPECT_EQ(references, 2);
    int tables = 0;
    for (const xls::Record& r : recs) {
        if (r.type != 0x0872) continue;  // FEAT11: the table's ref and its first ref
        ++tables;
        EXPECT_EQ(xls::get16(&r.data[6]), tableLast);
        EXPECT_EQ(xls::get16(&r.data[29]), tableLast);
    }
    EXPECT_EQ(tables, 1);
}

INSTANTIATE_TEST_SUITE_P(Entries, ChartGrammarOfFilledTemplate,
                         ::testing::Values(0, 9, 1000, 3999, 5000));

// The checker names the first record that does not fit: each row takes one record out of the
// template's chart, or puts one in, and names where the checker must stop.
TEST(ChartGrammar, NamesTheFirstRecordThatDoesNotFit) {
    const auto recs = xlstest::workbookRecords(xls::Workbook::open(templatePath()).toBytes());
    size_t bof = 0;
    while (!(recs[bof].type == xls::rt::Bof && xls::get16(&recs[bof].data[2]) == 0x0020)) ++bof;
    size_t eof = bof;
    while (recs[eof].type != xls::rt::Eof) ++eof;
    const std::vector<xls::Record> chart(recs.begin() + long(bof), recs.begin() + long(eof) + 1);
    auto first = [&](uint16_t type, size_t from = 0) {
        for (size_t i = from; i < chart.size(); ++i)
            if (chart[i].type == type) return i;
        return chart.size();
    };
    struct Case {
        const char* what;
        size_t remove;  // a record to take out, or chart.size()
        size_t insertAt;
        uint16_t insertType;
        std::string message;
    };
    const size_t scl = first(0x00A0), crtLink = first(0x1022), dims = first(0x0200);
    const size_t labelPos = first(0x104F, first(0x1027));  // the first label's Pos
    auto at = [](size_t i, uint16_t type, const char* expected) {
        char text[120];
        std::snprintf(text, sizeof text, "record %zu (0x%04X) does not fit: expected %s", i,
                      unsigned(type), expected);
        return std::string(text);
    };
    const Case cases[] = {
        {"as it is", chart.size(), 0, 0, ""},
        {"no Scl", scl, 0, 0, at(scl, 0x1064, "Scl")},
        {"no CrtLink", crtLink, 0, 0, at(crtLink, 0x103A, "CrtLink")},
        {"a label without Pos", labelPos, 0, 0, at(labelPos, 0x1026, "Pos")},
        {"no series data", dims, 0, 0, at(dims, 0x1065, "Dimensions of SERIESDATA")},
        {"a record after EOF", chart.size(), chart.size(), 0x1065,
         at(chart.size(), 0x1065, "nothing after EOF")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<xls::Record> changed = chart;
        if (c.remove < chart.size()) changed.erase(changed.begin() + long(c.remove));
        if (c.insertType) changed.insert(changed.begin() + long(c.insertAt), {c.insertType, {}});
        EXPECT_EQ(xlstest::checkChartGrammar(changed), c.message);
    }
}

}  // namespace
