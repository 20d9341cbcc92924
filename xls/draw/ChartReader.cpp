#include "xls/draw/ChartReader.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "xls/Bytes.h"
#include "xls/Error.h"
#include "xls/draw/NumberFormat.h"

namespace xls::draw {

namespace {

// Record types of a chart substream and of the drawing that places it.
namespace ct {
constexpr uint16_t Bof = 0x0809, Eof = 0x000A, Obj = 0x005D, MsoDrawing = 0x00EC, Chart = 0x1002,
                   Series = 0x1003, DataFormat = 0x1006, LineFormat = 0x1007, AreaFormat = 0x100A,
                   PieFormat = 0x100B, AttachedLabel = 0x100C, SeriesText = 0x100D,
                   ChartFormat = 0x1014, Legend = 0x1015, Bar = 0x1017, Line = 0x1018, Pie = 0x1019,
                   Area = 0x101A, Scatter = 0x101B, DefaultText = 0x1024, Text = 0x1025,
                   FontX = 0x1026, ObjectLink = 0x1027, Frame = 0x1032, Begin = 0x1033,
                   End = 0x1034, PlotArea = 0x1035, Chart3D = 0x103A, Radar = 0x103E, Surf = 0x103F,
                   RadarArea = 0x1040, AxisParent = 0x1041, Pos = 0x104F, Ai = 0x1051,
                   BopPop = 0x1061;
}  // namespace ct

constexpr uint16_t kChartSubstream = 0x0020;  // BOF dt
constexpr uint16_t kObjChart = 5;             // OBJ ftCmo ot
constexpr uint16_t kClientAnchor = 0xF010;    // OfficeArt record type
constexpr uint16_t kWholeSeries = 0xFFFF;     // DATAFORMAT xi / OBJECTLINK wLinkVar2
constexpr uint16_t kNoLine = 5;               // LINEFORMAT lns
constexpr double kUnits = 4000.0;             // chart positions are 1/4000 of the chart area

struct Rec {
    uint16_t type;
    const uint8_t* data;
    size_t size;
    uint16_t u16(size_t at) const { return at + 2 <= size ? xls::get16(data + at) : 0; }
    int32_t i32(size_t at) const {
        return at + 4 <= size ? static_cast<int32_t>(xls::get32(data + at)) : 0;
    }
    uint8_t u8(size_t at) const { return at < size ? data[at] : 0; }
    xls::Rgb rgb(size_t at) const { return {u8(at), u8(at + 1), u8(at + 2)}; }
};

std::vector<Rec> recordsOf(const xls::Workbook::RecordBytes& bytes) {
    std::vector<Rec> out;
    for (size_t at = 0; at + 4 <= bytes.size;) {
        const size_t size = xls::get16(bytes.data + at + 2);
        if (at + 4 + size > bytes.size) break;
        out.push_back({xls::get16(bytes.data + at), bytes.data + at + 4, size});
        at += 4 + size;
    }
    return out;
}

// The last client anchor among a drawing record's OfficeArt records (containers are entered,
// atoms skipped).
std::optional<ChartAnchor> anchorIn(const Rec& r, std::optional<ChartAnchor> last) {
    for (size_t at = 0; at + 8 <= r.size;) {
        const uint16_t verInst = r.u16(at), type = r.u16(at + 2);
        const size_t length = xls::get32(r.data + at + 4);
        if ((verInst & 0x0F) == 0x0F) {
            at += 8;
            continue;
        }
        if (type == kClientAnchor && length >= 18 && at + 8 + 18 <= r.size) {
            const size_t a = at + 8 + 2;  // past the flags
            ChartAnchor anchor;
            anchor.firstCol = r.u16(a);
            anchor.firstColX = r.u16(a + 2);
            anchor.firstRow = r.u16(a + 4);
            anchor.firstRowY = r.u16(a + 6);
            anchor.lastCol = r.u16(a + 8);
            anchor.lastColX = r.u16(a + 10);
            anchor.lastRow = r.u16(a + 12);
            anchor.lastRowY = r.u16(a + 14);
            last = anchor;
        }
        at += 8 + length;
    }
    return last;
}

ChartFill fillOf(const Rec& r) {
    ChartFill fill;
    fill.color = r.rgb(0);
    fill.visible = r.u16(8) != 0;  // fls 0: no fill
    return fill;
}

ChartLine lineOf(const Rec& r) {
    ChartLine line;
    line.color = r.rgb(0);
    line.visible = r.u16(4) != kNoLine;
    line.weight = static_cast<int16_t>(r.u16(6));
    return line;
}

std::string utf8OfSeriesText(const Rec& r) {
    const size_t count = r.u8(2);
    const bool wide = r.u8(3) & 1;
    std::u16string chars;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = 4 + i * (wide ? 2 : 1);
        if (at + (wide ? 2 : 1) > r.size) break;
        chars.push_back(wide ? r.u16(at) : r.u8(at));
    }
    return xls::utf16ToUtf8(chars);
}

// A series reference: the cells of one AI record's 3-D reference or area.
struct Reference {
    int sheet = -1;
    xls::CellRange cells;
};

std::optional<Reference> referenceOf(const xls::Workbook& book, const Rec& ai) {
    if (ai.u8(1) != 2 || ai.size < 8) return std::nullopt;  // not a reference
    const uint8_t ptg = ai.u8(8) & 0x1F;
    Reference ref;
    if (ptg == 0x1A && ai.size >= 8 + 7) {  // ptgRef3d
        ref.sheet = book.sheetOfReference(ai.u16(9));
        ref.cells = {ai.u16(11), ai.u16(13) & 0x3FFF, ai.u16(11), ai.u16(13) & 0x3FFF};
    } else if (ptg == 0x1B && ai.size >= 8 + 11) {  // ptgArea3d
        ref.sheet = book.sheetOfReference(ai.u16(9));
        ref.cells = {ai.u16(11), ai.u16(15) & 0x3FFF, ai.u16(13), ai.u16(17) & 0x3FFF};
    } else {
        return std::nullopt;
    }
    if (ref.sheet < 0 || ref.sheet >= book.sheetCount()) return std::nullopt;
    // A sheet has columns A to IV: a reference past them reads the cells it has there.
    constexpr int kLastCol = 255;
    if (ref.cells.firstCol > kLastCol || ref.cells.firstCol > ref.cells.lastCol)
        return std::nullopt;
    ref.cells.lastCol = std::min(ref.cells.lastCol, kLastCol);
    return ref;
}

// The cells of a reference in order (row by row), at most `limit` of them.
std::vector<xls::Cell> cellsOf(const xls::Workbook& book, const Reference& ref, size_t limit) {
    std::vector<xls::Cell> cells;
    const xls::Sheet& sheet = book.sheet(ref.sheet);
    for (int row = ref.cells.firstRow; row <= ref.cells.lastRow; ++row)
        for (int col = ref.cells.firstCol; col <= ref.cells.lastCol; ++col) {
            if (cells.size() >= limit) return cells;
            try {
                cells.push_back(sheet.cell(row, col));
            } catch (const xls::Error&) {
                cells.emplace_back();  // a damaged cell reads as an empty one
            }
        }
    return cells;
}

std::string trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// The text of a cell as its number format shows it (pads as spaces, trimmed).
std::string cellText(const xls::Styles& styles, const xls::Cell& cell,
                     std::map<uint16_t, xls::draw::NumberFormat>& formats) {
    auto formatted = [&](auto value) {
        const uint16_t id = styles.xf(cell.xf).formatIndex;
        auto it = formats.find(id);
        if (it == formats.end())
            it = formats.emplace(id, xls::draw::NumberFormat(styles.formatString(id))).first;
        return trimmed(it->second.formatPlain(value));
    };
    switch (cell.cachedKind) {
        case xls::CellKind::Number:
            return formatted(cell.number);
        case xls::CellKind::String:
            return cell.text;
        case xls::CellKind::Boolean:
            return cell.boolean ? "TRUE" : "FALSE";
        default:
            return {};
    }
}

// Formats given to a series or to one point (DATAFORMAT groups); unset parts fall back.
struct PointFormat {
    std::optional<ChartFill> fill;
    std::optional<bool> autoFill;
    std::optional<ChartLine> border;
    std::optional<int> explosion;
    std::optional<LabelParts> label;
};

struct LabelText {
    std::optional<size_t> fontIndex;
    bool autoColor = true;
    xls::Rgb color;
    bool deleted = false;
};

const char* kindNameOf(uint16_t type) {
    switch (type) {
        case ct::Bar:
            return "bar";
        case ct::Line:
            return "line";
        case ct::Pie:
            return "pie";
        case ct::Area:
            return "area";
        case ct::Scatter:
            return "scatter";
        case ct::Radar:
        case ct::RadarArea:
            return "radar";
        case ct::Surf:
            return "surface";
        case ct::BopPop:
            return "bar of pie";
        default:
            return "unknown";
    }
}

// Reads one chart substream, records [first, last) between its BOF and EOF.
class SubstreamReader {
  public:
    SubstreamReader(const xls::Workbook& book, const std::vector<Rec>& recs, size_t first,
                    size_t last)
        : book_(book), recs_(recs), first_(first), last_(last) {}

    ChartObject read() {
        walk();
        finish();
        return std::move(chart_);
    }

  private:
    void walk();
    void record(const Rec& r);
    void closeGroup(uint16_t owner);
    void finish();
    void readPoints();
    bool inside(uint16_t type) const {
        return std::find(owners_.begin(), owners_.end(), type) != owners_.end();
    }

    const xls::Workbook& book_;
    const std::vector<Rec>& recs_;
    size_t first_, last_;
    ChartObject chart_;
    std::vector<uint16_t> owners_;  // the records whose BEGIN..END groups enclose this one
    uint16_t previous_ = 0;

    int seriesCount_ = 0;
    std::optional<Rec> values_, categories_;
    std::map<uint16_t, PointFormat> formats_;  // by point; kWholeSeries for the series
    std::optional<uint16_t> formatPoint_;      // the DATAFORMAT whose group is open
    int chartGroups_ = 0;
    uint16_t chartType_ = 0;
    bool varied_ = false;
    bool threeD_ = false;
    int pieStart_ = 0, rotation_ = 0;
    bool framePlot_ = false;  // the open FRAME is the plot area's
    bool hasPlotPos_ = false;

    // The open TEXT group.
    struct OpenText {
        Rec text;
        std::optional<size_t> font;
        std::string literal;
        uint16_t linkObject = 0, linkPoint = kWholeSeries;
        bool isDefault = false;
        uint16_t defaultId = 0;
    };
    std::optional<OpenText> text_;
    std::optional<uint16_t> pendingDefault_;    // DEFAULTTEXT id before the next TEXT
    std::map<uint16_t, LabelText> labelTexts_;  // by point; kWholeSeries for the series
    std::optional<size_t> defaultLabelFont_;
};

void SubstreamReader::walk() {
    for (size_t i = first_; i < last_; ++i) {
        const Rec& r = recs_[i];
        if (r.type == ct::Begin) {
            owners_.push_back(previous_);
        } else if (r.type == ct::End) {
            if (!owners_.empty()) {
                const uint16_t owner = owners_.back();
                owners_.pop_back();
                closeGroup(owner);
            }
        } else {
            record(r);
        }
        previous_ = r.type;
    }
}

void SubstreamReader::record(const Rec& r) {
    switch (r.type) {
        case ct::Chart:
            chart_.widthPoints = r.i32(8) / 65536.0;
            chart_.heightPoints = r.i32(12) / 65536.0;
            break;
        case ct::Series:
            ++seriesCount_;
            break;
        case ct::Ai:
            if (seriesCount_ == 1 && inside(ct::Series) && !text_) {
                if (r.u8(0) == 1) values_ = r;
                if (r.u8(0) == 2) categories_ = r;
            }
            break;
        case ct::DataFormat:
            if (seriesCount_ == 1 && r.u16(2) == 0) formatPoint_ = r.u16(0);
            break;
        case ct::LineFormat:
            if (formatPoint_) {
                formats_[*formatPoint_].border = lineOf(r);
            } else if (!owners_.empty() && owners_.back() == ct::Frame) {
                (framePlot_ ? chart_.plotBorder : chart_.areaBorder) = lineOf(r);
            }
            break;
        case ct::AreaFormat:
            if (formatPoint_) {
                formats_[*formatPoint_].fill = fillOf(r);
                formats_[*formatPoint_].autoFill = (r.u16(10) & 1) != 0;
            } else if (!owners_.empty() && owners_.back() == ct::Frame) {
                (framePlot_ ? chart_.plotFill : chart_.area) = fillOf(r);
            }
            break;
        case ct::PieFormat:
            if (formatPoint_) formats_[*formatPoint_].explosion = r.u16(0);
            break;
        case ct::AttachedLabel:
            if (formatPoint_) {
                const uint16_t f = r.u16(0);
                LabelParts parts;
                parts.value = f & 0x01;
                parts.percent = (f & 0x02) || (f & 0x04);
                parts.category = (f & 0x10) || (f & 0x04);
                formats_[*formatPoint_].label = parts;
            }
            break;
        case ct::Frame:
            framePlot_ = inside(ct::AxisParent);
            break;
        case ct::ChartFormat:
            if (chartGroups_++ == 0) varied_ = r.u16(16) & 1;
            break;
        case ct::Bar:
        case ct::Line:
        case ct::Area:
        case ct::Scatter:
        case ct::Radar:
        case ct::RadarArea:
        case ct::Surf:
        case ct::BopPop:
        case ct::Pie:
            if (chartGroups_ == 1 && chartType_ == 0) {
                chartType_ = r.type;
                if (r.type == ct::Pie) {
                    pieStart_ = r.u16(0);
                    chart_.shadow = r.u16(4) & 1;
                    chart_.leaderLines = r.u16(4) & 2;
                    if (r.u16(2) != 0) chartType_ = 0xFFFF;  // a doughnut
                }
            }
            break;
        case ct::Chart3D:
            threeD_ = true;
            rotation_ = static_cast<int16_t>(r.u16(0));
            chart_.elevationDegrees = static_cast<int16_t>(r.u16(2));
            chart_.heightPercent = r.u16(6);
            break;
        case ct::Legend:
            chart_.legend = true;
            chart_.legendPosition = r.u8(16);
            break;
        case ct::AxisParent:
            if (r.u16(0) == 0 && r.i32(10) > 0 && r.i32(14) > 0 && !hasPlotPos_) {
                chart_.plotX = r.i32(2) / kUnits;
                chart_.plotY = r.i32(6) / kUnits;
                chart_.plotW = r.i32(10) / kUnits;
                chart_.plotH = r.i32(14) / kUnits;
            }
            break;
        case ct::Pos:
            if (!owners_.empty() && owners_.back() == ct::AxisParent && r.u16(0) == 2 &&
                r.u16(2) == 2 && r.i32(12) > 0 && r.i32(16) > 0) {
                hasPlotPos_ = true;
                chart_.plotX = r.i32(4) / kUnits;
                chart_.plotY = r.i32(8) / kUnits;
                chart_.plotW = r.i32(12) / kUnits;
                chart_.plotH = r.i32(16) / kUnits;
            }
            break;
        case ct::DefaultText:
            pendingDefault_ = r.u16(0);
            break;
        case ct::Text:
            if (owners_.size() <= 1) {  // a text of the chart, not of an axis or a legend
                text_ = OpenText{r,
                                 {},
                                 {},
                                 0,
                                 kWholeSeries,
                                 pendingDefault_.has_value(),
                                 pendingDefault_.value_or(0)};
                pendingDefault_.reset();
            }
            break;
        case ct::FontX:
            if (text_) text_->font = r.u16(0);
            break;
        case ct::SeriesText:
            if (text_) text_->literal = utf8OfSeriesText(r);
            break;
        case ct::ObjectLink:
            if (text_) {
                text_->linkObject = r.u16(0);
                text_->linkPoint = r.u16(4);
            }
            break;
        default:
            break;
    }
}

void SubstreamReader::closeGroup(uint16_t owner) {
    if (owner == ct::DataFormat) formatPoint_.reset();
    if (owner == ct::Frame) framePlot_ = false;
    if (owner != ct::Text || !text_ || owners_.size() > 1) return;
    const OpenText& t = *text_;
    const uint16_t flags = t.text.u16(24);
    const bool autoColor = flags & 0x0001;
    if (t.isDefault) {
        if (t.defaultId == 2 && t.font) chart_.defaultFontIndex = *t.font;
        if (t.defaultId <= 1 && t.font) defaultLabelFont_ = t.font;
    } else if (t.linkObject == 1) {
        ChartText title;
        title.text = t.literal;
        title.fontIndex = t.font.value_or(chart_.defaultFontIndex);
        title.autoColor = autoColor;
        title.color = t.text.rgb(4);
        if (!(flags & 0x0040)) chart_.title = title;
    } else if (t.linkObject == 4) {
        LabelText& label = labelTexts_[t.linkPoint];
        label.fontIndex = t.font;
        label.autoColor = autoColor;
        label.color = t.text.rgb(4);
        label.deleted = flags & 0x0040;
    }
    text_.reset();
}

void SubstreamReader::finish() {
    if (chartGroups_ > 1) {
        chart_.kindName = "combination";
    } else if (chartType_ == ct::Pie) {
        chart_.kind = threeD_ ? ChartKind::Pie3D : ChartKind::Pie;
        chart_.kindName = threeD_ ? "3-D pie" : "pie";
    } else if (chartType_ == 0xFFFF) {
        chart_.kindName = "doughnut";
    } else {
        chart_.kindName = std::string(threeD_ ? "3-D " : "") + kindNameOf(chartType_);
    }
    if (chart_.kind == ChartKind::Other) return;
    chart_.firstSliceDegrees = ((threeD_ ? rotation_ : pieStart_) % 360 + 360) % 360;
    if (!threeD_) chart_.elevationDegrees = 90;
    chart_.elevationDegrees = std::clamp(chart_.elevationDegrees, 10, 90);
    if (chart_.title && chart_.title->text.empty()) chart_.title.reset();
    readPoints();
}

void SubstreamReader::readPoints() {
    const std::optional<Reference> values = values_ ? referenceOf(book_, *values_) : std::nullopt;
    if (!values) return;
    constexpr size_t kMaxPoints = 32000;  // a series holds at most this many in BIFF8
    const std::vector<xls::Cell> amounts = cellsOf(book_, *values, kMaxPoints);
    const std::optional<Reference> categories =
        categories_ ? referenceOf(book_, *categories_) : std::nullopt;
    const std::vector<xls::Cell> names =
        categories ? cellsOf(book_, *categories, amounts.size()) : std::vector<xls::Cell>{};
    const xls::Styles& styles = book_.styles();
    std::map<uint16_t, xls::draw::NumberFormat> formats;
    std::optional<xls::draw::NumberFormat> custom;
    if (values_->u16(2) & 1) custom.emplace(styles.formatString(values_->u16(4)));

    const PointFormat series =
        formats_.count(kWholeSeries) ? formats_[kWholeSeries] : PointFormat{};
    const LabelText seriesText =
        labelTexts_.count(kWholeSeries) ? labelTexts_[kWholeSeries] : LabelText{};
    for (size_t i = 0; i < amounts.size(); ++i) {
        PiePoint p;
        const xls::Cell& amount = amounts[i];
        p.hasNumber = amount.cachedKind == xls::CellKind::Number && std::isfinite(amount.number);
        p.value = p.hasNumber ? amount.number : 0;
        p.valueText = custom && p.hasNumber ? trimmed(custom->formatPlain(p.value))
                                            : cellText(styles, amount, formats);
        p.category = i < names.size() ? cellText(styles, names[i], formats) : std::to_string(i + 1);

        const auto own = formats_.find(static_cast<uint16_t>(i));
        const PointFormat mine = own != formats_.end() ? own->second : PointFormat{};
        const bool autoFill = mine.autoFill.value_or(series.autoFill.value_or(true));
        if (mine.fill && !(mine.autoFill.value_or(false) && varied_)) {
            p.fill = *mine.fill;
        } else if (series.fill && !(autoFill && varied_)) {
            p.fill = *series.fill;
        } else {
            // Automatic colours of a varied series: the chart fills of the palette in turn.
            p.fill.color = styles.color(static_cast<uint16_t>(24 + i % 32));
        }
        p.border = mine.border.value_or(series.border.value_or(ChartLine{}));
        p.explosionPercent =
            std::clamp(mine.explosion.value_or(series.explosion.value_or(0)), 0, 400);
        p.label = mine.label.value_or(series.label.value_or(LabelParts{}));

        const auto text = labelTexts_.find(static_cast<uint16_t>(i));
        const LabelText& look = text != labelTexts_.end() ? text->second : seriesText;
        if (look.deleted) p.label = LabelParts{};
        p.labelText.fontIndex = look.fontIndex.value_or(
            seriesText.fontIndex.value_or(defaultLabelFont_.value_or(chart_.defaultFontIndex)));
        p.labelText.autoColor = look.autoColor;
        p.labelText.color = look.color;
        chart_.points.push_back(std::move(p));
    }
}

}  // namespace

std::vector<ChartObject> readCharts(const xls::Workbook& book, int sheetIndex) {
    const std::vector<Rec> recs = recordsOf(book.keptRecords(sheetIndex));
    std::vector<ChartObject> charts;
    std::optional<ChartAnchor> anchor, chartAnchor;
    bool chartObject = false;
    for (size_t i = 0; i < recs.size(); ++i) {
        const Rec& r = recs[i];
        if (r.type == ct::MsoDrawing) anchor = anchorIn(r, anchor);
        if (r.type == ct::Obj) {
            chartObject = r.u16(0) == 0x15 && r.u16(4) == kObjChart;
            chartAnchor = anchor;
        }
        if (r.type != ct::Bof || r.u16(2) != kChartSubstream || i == 0) continue;
        // The substream runs to its EOF; substreams inside it are skipped whole.
        size_t end = i + 1;
        for (int depth = 1; end < recs.size(); ++end) {
            if (recs[end].type == ct::Bof) ++depth;
            if (recs[end].type == ct::Eof && --depth == 0) break;
        }
        if (chartObject) {
            ChartObject chart = SubstreamReader(book, recs, i + 1, end).read();
            chart.anchor = chartAnchor;
            charts.push_back(std::move(chart));
        }
        chartObject = false;
        i = end;
    }
    return charts;
}

}  // namespace xls::draw
