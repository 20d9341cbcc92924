#include "ChartGrammar.h"

#include <cstdio>

namespace xlstest {

namespace {

// Record types of the chart sheet substream.
enum : uint16_t {
    kBof = 0x0809,
    kEof = 0x000A,
    kHeader = 0x0014,
    kFooter = 0x0015,
    kHCenter = 0x0083,
    kVCenter = 0x0084,
    kLeftMargin = 0x0026,
    kRightMargin = 0x0027,
    kTopMargin = 0x0028,
    kBottomMargin = 0x0029,
    kPls = 0x004D,
    kContinue = 0x003C,
    kSetup = 0x00A1,
    kPrintSize = 0x0033,
    kHeaderFooter = 0x089C,
    kFbi = 0x1060,
    kFbi2 = 0x1068,
    kProtect = 0x0012,
    kScenarioProtect = 0x00DD,
    kObjProtect = 0x0063,
    kPassword = 0x0013,
    kPalette = 0x0092,
    kUnits = 0x1001,
    kChart = 0x1002,
    kBegin = 0x1033,
    kEnd = 0x1034,
    kScl = 0x00A0,
    kPlotGrowth = 0x1064,
    kFrame = 0x1032,
    kLineFormat = 0x1007,
    kAreaFormat = 0x100A,
    kGelFrame = 0x1066,
    kSeries = 0x1003,
    kBrai = 0x1051,
    kSeriesText = 0x100D,
    kDataFormat = 0x1006,
    kChart3DBarShape = 0x105F,
    kPieFormat = 0x100B,
    kSerFmt = 0x105D,
    kMarkerFormat = 0x1009,
    kAttachedLabel = 0x100C,
    kSerToCrt = 0x1045,
    kLegendException = 0x1043,
    kShtProps = 0x1044,
    kDefaultText = 0x1024,
    kText = 0x1025,
    kPos = 0x104F,
    kFontX = 0x1026,
    kAlRuns = 0x1050,
    kObjectLink = 0x1027,
    kDataLabExtContents = 0x086B,
    kCrtLayout12 = 0x089D,
    kAxesUsed = 0x1046,
    kAxisParent = 0x1041,
    kPlotArea = 0x1035,
    kChartFormat = 0x1014,
    kPie = 0x1019,
    kBopPop = 0x1061,
    kBopPopCustom = 0x1067,
    kCrtLink = 0x1022,
    kSeriesList = 0x1016,
    kChart3d = 0x103A,
    kCrtLayout12A = 0x08A7,
    kDat = 0x1063,
    kDimensions = 0x0200,
    kSIIndex = 0x1065,
    kNumber = 0x0203,
    kBoolErr = 0x0205,
    kBlank = 0x0201,
    kLabel = 0x0204,
    kWindow2 = 0x023E,
    kPlv = 0x088B,
    kCodeName = 0x01BA,
    // Outside the grammar.
    kStartBlock = 0x0852,
    kEndBlock = 0x0853,
    kChartFrtInfo = 0x0850,
};

struct Mismatch {
    size_t at;
    const char* expected;
};

// One rule a method; `opt` takes a record when it is next, `need` fails when it is not.
class Parser {
  public:
    explicit Parser(const std::vector<xls::Record>& records) {
        for (size_t i = 0; i < records.size(); ++i) {
            const uint16_t t = records[i].type;
            if (t == kStartBlock || t == kEndBlock || t == kChartFrtInfo) continue;
            types_.push_back(t);
            places_.push_back(i);
        }
    }

    // CHARTSHEETCONTENT, with the BOF before it, for an embedded chart (no drawing objects).
    void chartSheet() {
        need(kBof, "BOF");
        pageSetup();
        need(kPrintSize, "PrintSize");
        opt(kHeaderFooter);
        while (opt(kFbi)) {
        }
        while (opt(kFbi2)) {
        }
        opt(kProtect);  // PROTECTION
        opt(kScenarioProtect);
        opt(kObjProtect);
        opt(kPassword);
        opt(kPalette);
        need(kUnits, "Units");
        chartFormats();
        seriesData();
        while (opt(kWindow2)) {  // WINDOW
            opt(kPlv);
            opt(kScl);
        }
        opt(kCodeName);
        need(kEof, "EOF");
        if (at_ != types_.size()) fail("nothing after EOF");
    }

    size_t place(size_t at) const { return at < places_.size() ? places_[at] : places_.size(); }
    uint16_t typeAt(size_t at) const { return at < types_.size() ? types_[at] : 0; }

  private:
    uint16_t peek(size_t ahead = 0) const {
        return at_ + ahead < types_.size() ? types_[at_ + ahead] : 0xFFFF;
    }
    bool opt(uint16_t type) {
        if (peek() != type) return false;
        ++at_;
        return true;
    }
    void need(uint16_t type, const char* what) {
        if (!opt(type)) fail(what);
    }
    [[noreturn]] void fail(const char* expected) const { throw Mismatch{at_, expected}; }

    // PAGESETUP = Header Footer HCenter VCenter [margins] [Pls *Continue] Setup
    void pageSetup() {
        need(kHeader, "Header");
        need(kFooter, "Footer");
        need(kHCenter, "HCenter");
        need(kVCenter, "VCenter");
        for (uint16_t m : {kLeftMargin, kRightMargin, kTopMargin, kBottomMargin}) opt(m);
        if (opt(kPls))
            while (opt(kContinue)) {
            }
        need(kSetup, "Setup");
    }

    // CHARTFORMATS = Chart Begin Scl PlotGrowth [FRAME] *SERIESFORMAT *SS ShtProps *2DFTTEXT
    //                AxesUsed 1*2AXISPARENT [CrtLayout12A] [DAT] *ATTACHEDLABEL End
    void chartFormats() {
        need(kChart, "Chart");
        need(kBegin, "Begin after Chart");
        need(kScl, "Scl");
        need(kPlotGrowth, "PlotGrowth");
        if (peek() == kFrame) frame();
        while (peek() == kSeries) seriesFormat();
        while (peek() == kDataFormat) ss();
        need(kShtProps, "ShtProps");
        for (int k = 0; k < 2 && peek() == kDefaultText; ++k) {  // DFTTEXT
            need(kDefaultText, "DefaultText");
            attachedLabel();
        }
        need(kAxesUsed, "AxesUsed");
        axisParent();
        if (peek() == kAxisParent) axisParent();
        opt(kCrtLayout12A);
        if (peek() == kDat) fail("no data table (DAT)");
        while (peek() == kText) attachedLabel();
        need(kEnd, "End of the chart's formats");
    }

    // FRAME = Frame Begin LineFormat AreaFormat [GELFRAME] End
    void frame() {
        need(kFrame, "Frame");
        need(kBegin, "Begin after Frame");
        need(kLineFormat, "LineFormat");
        need(kAreaFormat, "AreaFormat");
        if (peek() == kGelFrame) fail("no GelFrame");
        need(kEnd, "End of FRAME");
    }

    // AI = BRAI [SeriesText]
    void ai() {
        need(kBrai, "BRAI");
        opt(kSeriesText);
    }

    // SERIESFORMAT = Series Begin 4AI *SS SerToCrt *(LegendException) End
    void seriesFormat() {
        need(kSeries, "Series");
        need(kBegin, "Begin after Series");
        for (int k = 0; k < 4; ++k) ai();
        while (peek() == kDataFormat) ss();
        need(kSerToCrt, "SerToCrt");
        while (opt(kLegendException)) {
            if (peek() == kBegin) {
                need(kBegin, "Begin");
                attachedLabel();
                need(kEnd, "End of the legend exception");
            }
        }
        need(kEnd, "End of SERIESFORMAT");
    }

    // SS = DataFormat Begin [Chart3DBarShape] [LineFormat AreaFormat PieFormat] [SerFmt]
    //      [MarkerFormat] [AttachedLabel] End
    void ss() {
        need(kDataFormat, "DataFormat");
        need(kBegin, "Begin after DataFormat");
        opt(kChart3DBarShape);
        if (opt(kLineFormat)) {
            need(kAreaFormat, "AreaFormat");
            need(kPieFormat, "PieFormat");
        }
        opt(kSerFmt);
        opt(kMarkerFormat);
        opt(kAttachedLabel);
        need(kEnd, "End of SS");
    }

    // ATTACHEDLABEL = Text Begin Pos [FontX] [AlRuns] AI [FRAME] [ObjectLink]
    //                 [DataLabExtContents] [CrtLayout12] End
    void attachedLabel() {
        need(kText, "Text");
        need(kBegin, "Begin after Text");
        need(kPos, "Pos");
        opt(kFontX);
        opt(kAlRuns);
        ai();
        if (peek() == kFrame) frame();
        opt(kObjectLink);
        opt(kDataLabExtContents);
        opt(kCrtLayout12);
        need(kEnd, "End of ATTACHEDLABEL");
    }

    // AXISPARENT = AxisParent Begin Pos [AXES] 1*4CRT End, AXES here only [PlotArea FRAME]
    void axisParent() {
        need(kAxisParent, "AxisParent");
        need(kBegin, "Begin after AxisParent");
        need(kPos, "Pos");
        if (opt(kPlotArea)) frame();
        crt();
        for (int k = 1; k < 4 && peek() == kChartFormat; ++k) crt();
        need(kEnd, "End of AXISPARENT");
    }

    // CRT = ChartFormat Begin (Pie / BopPop [BopPopCustom]) CrtLink [SeriesList] [Chart3d]
    //       *2DFTTEXT [SS] End
    void crt() {
        need(kChartFormat, "ChartFormat");
        need(kBegin, "Begin after ChartFormat");
        if (opt(kBopPop))
            opt(kBopPopCustom);
        else
            need(kPie, "a pie chart group (Pie)");
        need(kCrtLink, "CrtLink");
        opt(kSeriesList);
        opt(kChart3d);
        for (int k = 0; k < 2 && peek() == kDefaultText; ++k) {
            need(kDefaultText, "DefaultText");
            attachedLabel();
        }
        if (peek() == kDataFormat) ss();
        need(kEnd, "End of CRT");
    }

    // SERIESDATA = Dimensions 3(SIIndex *(Number / BoolErr / Blank / Label))
    void seriesData() {
        need(kDimensions, "Dimensions of SERIESDATA");
        for (int k = 0; k < 3; ++k) {
            need(kSIIndex, "SIIndex");
            while (opt(kNumber) || opt(kBoolErr) || opt(kBlank) || opt(kLabel)) {
            }
        }
    }

    std::vector<uint16_t> types_;
    std::vector<size_t> places_;
    size_t at_ = 0;
};

}  // namespace

std::string checkChartGrammar(const std::vector<xls::Record>& records) {
    Parser parser(records);
    try {
        parser.chartSheet();
        return {};
    } catch (const Mismatch& m) {
        char text[160];
        if (parser.typeAt(m.at) == 0)
            std::snprintf(text, sizeof text, "the records end where %s was expected", m.expected);
        else
            std::snprintf(text, sizeof text, "record %zu (0x%04X) does not fit: expected %s",
                          parser.place(m.at), unsigned(parser.typeAt(m.at)), m.expected);
        return text;
    }
}

}  // namespace xlstest
