#include "xls/draw/ChartReader.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "xls/draw/ChartRecords.h"
#include "xls/draw/NumberFormat.h"

namespace xls::draw {

namespace {

constexpr double kUnits = 4000.0;  // chart positions are 1/4000 of the chart area
// Automatic colours of a varied series: the palette's chart fills, indices 24..55, in turn.
constexpr size_t kFirstChartFill = 24, kChartFills = 32;
constexpr uint16_t kDoughnut = 0xFFFF;  // a chart type of our own: a pie with a hole
// TEXT flags u16 at 24: bit 0 automatic colour, bit 6 deleted. TEXT colour: RGB at 4.
constexpr size_t kTextFlags = 24, kTextColor = 4;
constexpr uint16_t kTextAutoColor = 0x0001, kTextDeleted = 0x0040;
// OBJECTLINK's object: what a text labels.
constexpr uint16_t kLinksTitle = 1, kLinksDataLabel = 4;

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

// Reads one chart substream, records [first, last) between its BOF and EOF.
class SubstreamReader {
  public:
    SubstreamReader(const xls::Workbook& book, const std::vector<ChartRecord>& recs, size_t first,
                    size_t last)
        : book_(book), recs_(recs), first_(first), last_(last) {}

    ChartObject read() {
        walk();
        finish();
        return std::move(chart_);
    }

  private:
    void walk();
    void record(const ChartRecord& r);
    void format(const ChartRecord& r);
    void chartType(const ChartRecord& r);
    void plotPosition(const ChartRecord& r);
    void textPart(const ChartRecord& r);
    void closeGroup(uint16_t owner);
    void finish();
    void readPoints();
    bool inside(uint16_t type) const {
        return std::find(owners_.begin(), owners_.end(), type) != owners_.end();
    }

    const xls::Workbook& book_;
    const std::vector<ChartRecord>& recs_;
    size_t first_, last_;
    ChartObject chart_;
    std::vector<uint16_t> owners_;  // the records whose BEGIN..END groups enclose this one
    uint16_t previous_ = 0;

    int seriesCount_ = 0;
    std::optional<ChartRecord> values_, categories_;
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
        ChartRecord text;
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
        const ChartRecord& r = recs_[i];
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

void SubstreamReader::record(const ChartRecord& r) {
    switch (r.type) {
        case ct::Chart:  // x, y (i32 each) | width | height, in points as 16.16 fixed point
            chart_.widthPoints = r.i32(8) / kFixedPointOne;
            chart_.heightPoints = r.i32(12) / kFixedPointOne;
            break;
        case rt::Series:
            ++seriesCount_;
            break;
        case rt::Ai:
            if (seriesCount_ == 1 && inside(rt::Series) && !text_) {
                if (r.u8(aiField::kId) == aiField::kValues) values_ = r;
                if (r.u8(aiField::kId) == aiField::kCategories) categories_ = r;
            }
            break;
        case ct::Legend:
            chart_.legend = true;
            chart_.legendPosition = r.u8(16);
            break;
        case ct::AxisParent:
        case ct::Pos:
            plotPosition(r);
            break;
        case ct::DefaultText:
        case ct::Text:
        case ct::FontX:
        case ct::SeriesText:
        case ct::ObjectLink:
            textPart(r);
            break;
        case ct::DataFormat:
        case ct::LineFormat:
        case ct::AreaFormat:
        case ct::PieFormat:
        case ct::AttachedLabel:
        case ct::Frame:
            format(r);
            break;
        default:
            chartType(r);
            break;
    }
}

// DATAFORMAT: point u16 (kWholeSeries: the series) | series u16 | ...; the formats in its
// group are the point's. Outside one, a FRAME's formats are the chart area's or the plot area's.
void SubstreamReader::format(const ChartRecord& r) {
    switch (r.type) {
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
        case ct::AreaFormat:  // flags u16 at 10, bit 0: automatic fill
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
        case ct::AttachedLabel:  // flags u16: value, percent, percent and category, category
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
        default:
            break;
    }
}

// The first chart group's type record decides the chart's kind. PIE: first slice's angle u16 |
// doughnut hole u16 (0: a pie) | flags u16 (bit 0 shadow, bit 1 leader lines).
void SubstreamReader::chartType(const ChartRecord& r) {
    switch (r.type) {
        case ct::ChartFormat:  // flags u16 at 16, bit 0: points of one series vary in colour
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
                    if (r.u16(2) != 0) chartType_ = kDoughnut;
                }
            }
            break;
        case ct::Chart3D:  // rotation i16 | elevation i16 | distance u16 | height percent u16
            threeD_ = true;
            rotation_ = static_cast<int16_t>(r.u16(0));
            chart_.elevationDegrees = static_cast<int16_t>(r.u16(2));
            chart_.heightPercent = r.u16(6);
            break;
        default:
            break;
    }
}

// The plot area: AXISPARENT's rectangle (axis index u16 | x, y, width, height i32), unless a POS
// of its group (top left and bottom right modes u16 = 2: a rectangle) places it.
void SubstreamReader::plotPosition(const ChartRecord& r) {
    if (r.type == ct::AxisParent) {
        if (r.u16(0) == 0 && r.i32(10) > 0 && r.i32(14) > 0 && !hasPlotPos_) {
            chart_.plotX = r.i32(2) / kUnits;
            chart_.plotY = r.i32(6) / kUnits;
            chart_.plotW = r.i32(10) / kUnits;
            chart_.plotH = r.i32(14) / kUnits;
        }
        return;
    }
    if (!owners_.empty() && owners_.back() == ct::AxisParent && r.u16(0) == 2 && r.u16(2) == 2 &&
        r.i32(12) > 0 && r.i32(16) > 0) {
        hasPlotPos_ = true;
        chart_.plotX = r.i32(4) / kUnits;
        chart_.plotY = r.i32(8) / kUnits;
        chart_.plotW = r.i32(12) / kUnits;
        chart_.plotH = r.i32(16) / kUnits;
    }
}

// A TEXT group of the chart itself (not of an axis or a legend) and what its records say: its
// font (FONTX), its literal (SERIESTEXT), what it labels (OBJECTLINK: object u16 | 2 unused
// bytes | point u16). A DEFAULTTEXT before it makes it a default.
void SubstreamReader::textPart(const ChartRecord& r) {
    switch (r.type) {
        case ct::DefaultText:
            pendingDefault_ = r.u16(0);
            break;
        case ct::Text:
            if (owners_.size() <= 1) {
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
            if (text_) text_->literal = seriesTextOf(r);
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
    const uint16_t flags = t.text.u16(kTextFlags);
    const bool autoColor = flags & kTextAutoColor;
    if (t.isDefault) {
        if (t.defaultId == 2 && t.font) chart_.defaultFontIndex = *t.font;
        if (t.defaultId <= 1 && t.font) defaultLabelFont_ = t.font;
    } else if (t.linkObject == kLinksTitle) {
        ChartText title;
        title.text = t.literal;
        title.fontIndex = t.font.value_or(chart_.defaultFontIndex);
        title.autoColor = autoColor;
        title.color = t.text.rgb(kTextColor);
        if (!(flags & kTextDeleted)) chart_.title = title;
    } else if (t.linkObject == kLinksDataLabel) {
        LabelText& label = labelTexts_[t.linkPoint];
        label.fontIndex = t.font;
        label.autoColor = autoColor;
        label.color = t.text.rgb(kTextColor);
        label.deleted = flags & kTextDeleted;
    }
    text_.reset();
}

void SubstreamReader::finish() {
    if (chartGroups_ > 1) {
        chart_.kindName = "combination";
    } else if (chartType_ == ct::Pie) {
        chart_.kind = threeD_ ? ChartKind::Pie3D : ChartKind::Pie;
        chart_.kindName = threeD_ ? "3-D pie" : "pie";
    } else if (chartType_ == kDoughnut) {
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
    const std::optional<SeriesReference> values =
        values_ ? referenceOf(book_, *values_) : std::nullopt;
    if (!values) return;
    constexpr size_t kMaxPoints = 32000;  // a series holds at most this many in BIFF8
    const std::vector<xls::Cell> amounts = cellsOf(book_, *values, kMaxPoints);
    const std::optional<SeriesReference> categories =
        categories_ ? referenceOf(book_, *categories_) : std::nullopt;
    const std::vector<xls::Cell> names =
        categories ? cellsOf(book_, *categories, amounts.size()) : std::vector<xls::Cell>{};
    const xls::Styles& styles = book_.styles();
    std::map<uint16_t, xls::draw::NumberFormat> formats;
    std::optional<xls::draw::NumberFormat> custom;
    if (values_->u16(aiField::kFlags) & aiField::kOwnFormat)
        custom.emplace(styles.formatString(values_->u16(aiField::kFormat)));

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
            p.fill.color = styles.color(static_cast<uint16_t>(kFirstChartFill + i % kChartFills));
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
    const std::vector<ChartRecord> recs = chartRecordsOf(book.keptRecords(sheetIndex));
    std::vector<ChartObject> charts;
    std::optional<ChartAnchor> anchor, chartAnchor;
    bool chartObject = false;
    for (size_t i = 0; i < recs.size(); ++i) {
        const ChartRecord& r = recs[i];
        if (r.type == ct::MsoDrawing) anchor = anchorIn(r, anchor);
        if (r.type == ct::Obj) {
            chartObject = r.u16(0) == kObjCommon && r.u16(4) == kObjChart;
            chartAnchor = anchor;
        }
        if (r.type != rt::Bof || r.u16(2) != kChartSubstream || i == 0) continue;
        // The substream runs to its EOF; substreams inside it are skipped whole.
        size_t end = i + 1;
        for (int depth = 1; end < recs.size(); ++end) {
            if (recs[end].type == rt::Bof) ++depth;
            if (recs[end].type == rt::Eof && --depth == 0) break;
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
