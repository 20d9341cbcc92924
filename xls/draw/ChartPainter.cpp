#include "xls/draw/ChartPainter.h"

#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "xls/draw/NumberFormat.h"

namespace xls::draw {

namespace {

constexpr double kPi = 3.14159265358979323846;
// A 3-D pie of CHART3D height 100 % is this fraction of its radius thick.
constexpr double kThicknessPerRadius = 0.125;

double radians(double degrees) { return degrees * kPi / 180.0; }

QColor colorOf(const xls::Rgb& c) { return QColor(c.r, c.g, c.b); }

// A fill colour shaded for a wall of the 3-D pie: each channel scaled by `factor`.
QColor shaded(const xls::Rgb& c, double factor) {
    return QColor(int(c.r * factor), int(c.g * factor), int(c.b * factor));
}

// The parts of [from, to] (degrees, to >= from) where a 3-D pie's outer wall faces the viewer:
// between 3 and 9 o'clock through 6 o'clock (90..270 degrees, and the same a turn on).
std::vector<std::pair<double, double>> frontParts(double from, double to) {
    std::vector<std::pair<double, double>> parts;
    for (double turn = std::floor((from - 270.0) / 360.0) * 360.0; turn + 90.0 < to;
         turn += 360.0) {
        const double a = std::max(from, turn + 90.0), b = std::min(to, turn + 270.0);
        if (b > a) parts.emplace_back(a, b);
    }
    return parts;
}

}  // namespace

ChartPainter::ChartPainter(const ChartObject& chart, FontCache& fonts, double dpi)
    : chart_(chart), fonts_(fonts), dpi_(dpi) {}

void ChartPainter::paint(QPainter& painter, const QRectF& area) {
    slices_.clear();
    anchors_.clear();
    if (chart_.kind == ChartKind::Other) return;
    painter.save();
    painter.setClipRect(area, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    if (chart_.area.visible) painter.fillRect(area, colorOf(chart_.area.color));
    if (chart_.areaBorder.visible) {
        painter.setPen(penFor(chart_.areaBorder));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(area.adjusted(0.5, 0.5, -0.5, -0.5));
    }
    const QRectF plot(area.left() + chart_.plotX * area.width(),
                      area.top() + chart_.plotY * area.height(), chart_.plotW * area.width(),
                      chart_.plotH * area.height());
    if (chart_.kind == ChartKind::Pie && chart_.plotFill.visible)
        painter.fillRect(plot, colorOf(chart_.plotFill.color));
    planSlices();
    planGeometry(plot);
    paintSlices(painter);
    placeLabels(area);
    paintLabels(painter);
    paintTitle(painter, area);
    if (chart_.legend) paintLegend(painter, legendBox(area));
    painter.restore();
}

void ChartPainter::planSlices() {
    total_ = 0;
    for (const PiePoint& p : chart_.points)
        if (p.hasNumber) total_ += std::fabs(p.value);
    if (!(total_ > 0)) return;
    double at = chart_.firstSliceDegrees;
    static const xls::draw::NumberFormat percent("0%");
    for (size_t i = 0; i < chart_.points.size(); ++i) {
        const PiePoint& p = chart_.points[i];
        if (!p.hasNumber || p.value == 0) continue;
        const double share = std::fabs(p.value) / total_;
        Slice s{i, at, share * 360.0, {}, {}};
        at += s.sweep;
        QStringList parts;
        if (p.label.category) parts << QString::fromStdString(p.category);
        if (p.label.value) parts << QString::fromStdString(p.valueText);
        if (p.label.percent) parts << QString::fromStdString(percent.formatPlain(share));
        s.label = parts.join(QLatin1Char(' '));
        slices_.push_back(std::move(s));
    }
}

void ChartPainter::planGeometry(const QRectF& plot) {
    double explosion = 0;
    for (const Slice& s : slices_)
        explosion = std::max(explosion, chart_.points[s.point].explosionPercent / 100.0);
    const bool threeD = chart_.kind == ChartKind::Pie3D;
    const double tilt = std::sin(radians(chart_.elevationDegrees));
    const double depth = threeD ? kThicknessPerRadius * chart_.heightPercent / 100.0 *
                                      std::cos(radians(chart_.elevationDegrees))
                                : 0.0;
    const double radius =
        std::max(0.0, std::min(plot.width() / (2 * (1 + explosion)),
                               plot.height() / (2 * tilt * (1 + explosion) + depth)));
    rx_ = radius;
    ry_ = radius * tilt;
    thickness_ = radius * depth;
    centre_ = QPointF(plot.center().x(), plot.center().y() - thickness_ / 2);
}

QPointF ChartPainter::onRim(double degrees, double radiusScale, const QPointF& centre) const {
    const double a = radians(degrees);
    return centre + QPointF(rx_ * radiusScale * std::sin(a), -ry_ * radiusScale * std::cos(a));
}

void ChartPainter::arc(QPolygonF& polygon, double from, double to, const QPointF& centre) const {
    // Steps of at most 2 degrees: on a radius of 1,000 pixels the chord strays 0.15 pixels.
    const int steps = std::max(1, int(std::ceil((to - from) / 2.0)));
    for (int k = 0; k <= steps; ++k) polygon << onRim(from + (to - from) * k / steps, 1.0, centre);
}

QPointF ChartPainter::offsetOf(const Slice& s) const {
    const double pulled = chart_.points[s.point].explosionPercent / 100.0;
    return onRim(s.start + s.sweep / 2, pulled, QPointF(0, 0));
}

QPen ChartPainter::penFor(const ChartLine& line) const {
    QPen pen(colorOf(line.color));
    const double widths[] = {1.0, 2.0, 3.0};  // narrow, medium, wide at 96 DPI
    pen.setWidthF(line.weight < 0 ? 1.0 : widths[std::min(line.weight, 2)] * dpi_ / 96.0);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void ChartPainter::paintSlices(QPainter& painter) {
    if (slices_.empty() || rx_ <= 0) return;
    const QRectF top(centre_.x() - rx_, centre_.y() - ry_, 2 * rx_, 2 * ry_);
    auto face = [&](const Slice& s, const QPointF& shift) {
        QPolygonF polygon;
        const QPointF centre = centre_ + shift;
        if (s.sweep < 360.0) polygon << centre;
        arc(polygon, s.start, s.start + s.sweep, centre);
        return polygon;
    };
    if (chart_.shadow) {
        // A shadow of 28 % black over the plot (or chart) area's fill, drawn in its blended
        // colour slice by slice: the same pixels as one translucent shape, without the cost of
        // filling the union of every slice as one path.
        const ChartFill& under = chart_.kind == ChartKind::Pie && chart_.plotFill.visible
                                     ? chart_.plotFill
                                     : chart_.area;
        const xls::Rgb ground = under.visible ? under.color : xls::Rgb{255, 255, 255};
        const double d = 3.0 * dpi_ / 96.0;
        painter.setPen(Qt::NoPen);
        painter.setBrush(shaded(ground, 0.72));
        // A soft shape under the pie, drawn without antialiasing: a fraction of the cost for a
        // pie of many slices.
        painter.setRenderHint(QPainter::Antialiasing, false);
        for (const Slice& s : slices_)
            painter.drawPolygon(face(s, offsetOf(s) + QPointF(d, d + thickness_)));
        painter.setRenderHint(QPainter::Antialiasing, true);
    }
    // A 3-D pie's walls hang below the top faces, so every top face hides any wall it meets:
    // the walls first, farthest from the viewer first, then the top faces.
    if (chart_.kind == ChartKind::Pie3D) {
        std::vector<Wall> walls;
        for (const Slice& s : slices_) addWalls(walls, s);
        std::stable_sort(walls.begin(), walls.end(),
                         [](const Wall& a, const Wall& b) { return a.nearness < b.nearness; });
        for (const Wall& w : walls) {
            const PiePoint& p = chart_.points[w.point];
            painter.setPen(p.border.visible ? penFor(p.border) : QPen(Qt::NoPen));
            painter.setBrush(p.fill.visible ? QBrush(shaded(p.fill.color, w.shade))
                                            : QBrush(Qt::NoBrush));
            painter.drawPolygon(w.shape);
        }
    }
    for (const Slice& s : slices_) {
        const PiePoint& p = chart_.points[s.point];
        painter.setPen(p.border.visible ? penFor(p.border) : QPen(Qt::NoPen));
        painter.setBrush(p.fill.visible ? QBrush(colorOf(p.fill.color)) : QBrush(Qt::NoBrush));
        painter.drawPolygon(face(s, offsetOf(s)));
    }
}

void ChartPainter::addWalls(std::vector<Wall>& walls, const Slice& s) const {
    const PiePoint& p = chart_.points[s.point];
    if (!p.fill.visible && !p.border.visible) return;
    const QPointF centre = centre_ + offsetOf(s);
    const QPointF down(0, thickness_);
    // How near the viewer a point of the pie's plane lies, at `degrees` and `radius` (0..1)
    // from the slice's own centre.
    const double pulled = p.explosionPercent / 100.0;
    const double middle = radians(s.start + s.sweep / 2);
    auto nearness = [&](double degrees, double radius) {
        return -std::cos(radians(degrees)) * radius - std::cos(middle) * pulled;
    };
    // The cut faces along the slice's two edges, where they face the viewer.
    if (s.sweep < 360.0) {
        const double end = s.start + s.sweep;
        for (const double edge : {s.start, end}) {
            const double facing = std::sin(radians(edge));
            if (edge == s.start ? facing >= 0 : facing <= 0) continue;
            const QPointF rim = onRim(edge, 1.0, centre);
            walls.push_back({QPolygonF({centre, rim, rim + down, centre + down}), s.point, 0.85,
                             nearness(edge, 0.5)});
        }
    }
    // The outer wall, where it faces the viewer.
    for (const auto& [from, to] : frontParts(s.start, s.start + s.sweep)) {
        QPolygonF wall;
        arc(wall, from, to, centre);
        const int upper = wall.size();
        for (int k = upper; k-- > 0;) wall << wall[k] + down;
        walls.push_back({wall, s.point, 0.7, nearness((from + to) / 2, 1.0)});
    }
}

namespace {

// A data label on one side of the pie, before it is stacked.
struct SideLabel {
    size_t slice;
    double middle;  // the slice's middle, degrees clockwise from 12 o'clock (0..360)
    QRectF box;
};

// Each side's labels in a column from top to bottom: the right side's clockwise from 12
// o'clock, the left side's counter-clockwise. A side with more labels than `room` gives those
// nearest the other side to it, at its top or bottom, the order kept.
void balanceSides(std::vector<SideLabel>& right, std::vector<SideLabel>& left, size_t room) {
    auto byTurn = [](std::vector<SideLabel>& side, bool clockwise) {
        std::stable_sort(side.begin(), side.end(),
                         [clockwise](const SideLabel& a, const SideLabel& b) {
                             return clockwise ? a.middle < b.middle : a.middle > b.middle;
                         });
    };
    byTurn(right, true);
    byTurn(left, false);
    while (right.size() > room && left.size() + 1 < room) {
        if (right.front().middle < 180.0 - right.back().middle) {
            left.insert(left.begin(), right.front());
            right.erase(right.begin());
        } else {
            left.push_back(right.back());
            right.pop_back();
        }
    }
    while (left.size() > room && right.size() + 1 < room) {
        if (360.0 - left.front().middle < left.back().middle - 180.0) {
            right.insert(right.begin(), left.front());
            left.erase(left.begin());
        } else {
            right.push_back(left.back());
            left.pop_back();
        }
    }
}

}  // namespace

void ChartPainter::placeLabels(const QRectF& area) {
    const double gap = 6.0 * dpi_ / 96.0;
    const QRectF title = titleBox(area);
    const double top = title.isEmpty() ? area.top() : title.bottom();
    std::vector<SideLabel> right, left;
    anchors_.assign(slices_.size(), QPointF());
    double explosion = 0, height = 0;
    for (size_t i = 0; i < slices_.size(); ++i) {
        Slice& s = slices_[i];
        explosion = std::max(explosion, chart_.points[s.point].explosionPercent / 100.0);
        if (s.label.isEmpty()) continue;
        const FontCache::Entry& font = fonts_.entry(chart_.points[s.point].labelText.fontIndex);
        const double middle = std::fmod(s.start + s.sweep / 2, 360.0);
        const double a = radians(middle);
        const QPointF centre = centre_ + offsetOf(s);
        const QPointF lift(0, thickness_ * std::max(0.0, -std::cos(a)));
        anchors_[i] = onRim(middle, 1.0, centre) + lift;
        const QPointF q =
            centre + lift + QPointF((rx_ + gap) * std::sin(a), -(ry_ + gap) * std::cos(a));
        const double w = font.width(s.label), h = font.ascent + font.descent;
        height = std::max(height, h);
        const QRectF box(q.x() + (std::sin(a) - 1) * w / 2, q.y() - h / 2 - std::cos(a) * h / 2, w,
                         h);
        (middle < 180.0 ? right : left).push_back({i, middle, box});
    }
    const size_t room =
        height > 0 ? size_t(std::max(1.0, std::floor((area.bottom() - top) / height))) : 0;
    balanceSides(right, left, room);
    // The pie's outline with its walls and explosion: labels keep outside it.
    const double outerX = rx_ * (1 + explosion) + gap;
    const double outerY = ry_ * (1 + explosion) + thickness_ / 2 + gap;
    const double middleY = centre_.y() + thickness_ / 2;
    for (const bool onRight : {true, false}) {
        std::vector<SideLabel>& side = onRight ? right : left;
        // Down from the top, then up from the bottom, so that no two boxes overlap.
        double floor = top;
        for (SideLabel& p : side) {
            p.box.moveTop(std::max(p.box.top(), floor));
            floor = p.box.bottom();
        }
        double ceiling = area.bottom();
        for (size_t k = side.size(); k-- > 0;) {
            QRectF& box = side[k].box;
            if (box.bottom() > ceiling) box.moveBottom(ceiling);
            ceiling = box.top();
        }
        for (SideLabel& p : side) {
            QRectF& box = p.box;
            const double y = std::clamp(middleY, box.top(), box.bottom());
            const double across = std::max(0.0, 1 - std::pow((y - middleY) / outerY, 2));
            const double reach = outerX * std::sqrt(across);
            if (onRight)
                box.moveLeft(std::max(box.left(), centre_.x() + reach));
            else
                box.moveRight(std::min(box.right(), centre_.x() - reach));
            box.moveLeft(std::clamp(box.left(), area.left(),
                                    std::max(area.left(), area.right() - box.width())));
            slices_[p.slice].labelBox = box;
        }
    }
}

void ChartPainter::paintLabels(QPainter& painter) {
    const double near = 3.0 * dpi_ / 96.0;
    for (size_t i = 0; i < slices_.size(); ++i) {
        const Slice& s = slices_[i];
        if (s.label.isEmpty()) continue;
        const PiePoint& p = chart_.points[s.point];
        const FontCache::Entry& font = fonts_.entry(p.labelText.fontIndex);
        const QRectF& box = s.labelBox;
        // A label moved away from its slice is tied to it by a leader line.
        const QPointF from = anchors_[i];
        const QPointF to(std::clamp(from.x(), box.left(), box.right()),
                         std::clamp(from.y(), box.top(), box.bottom()));
        const QPointF apart = to - from;
        const double gapNow = std::hypot(apart.x(), apart.y());
        if (chart_.leaderLines && gapNow > 6.0 * dpi_ / 96.0 + near * 2 + box.height() / 2) {
            painter.setPen(QPen(Qt::black, 1.0));
            painter.drawLine(from, to);
        }
        painter.setPen(p.labelText.autoColor ? QColor(Qt::black) : colorOf(p.labelText.color));
        painter.setFont(font.font);
        painter.drawText(QPointF(box.left(), box.top() + font.ascent), s.label);
    }
}

QRectF ChartPainter::titleBox(const QRectF& area) {
    if (!chart_.title) return {};
    const FontCache::Entry& font = fonts_.entry(chart_.title->fontIndex);
    const double w = font.width(QString::fromStdString(chart_.title->text));
    return QRectF(area.center().x() - w / 2, area.top() + 6.0 * dpi_ / 96.0, w,
                  font.ascent + font.descent);
}

void ChartPainter::paintTitle(QPainter& painter, const QRectF& area) {
    if (!chart_.title) return;
    const FontCache::Entry& font = fonts_.entry(chart_.title->fontIndex);
    const QString text = QString::fromStdString(chart_.title->text);
    const QRectF box = titleBox(area);
    painter.setPen(chart_.title->autoColor ? QColor(Qt::black) : colorOf(chart_.title->color));
    painter.setFont(font.font);
    painter.drawText(QPointF(box.left(), box.top() + font.ascent), text);
}

QRectF ChartPainter::legendBox(const QRectF& area) {
    const FontCache::Entry& font = fonts_.entry(chart_.defaultFontIndex);
    const double line = font.ascent + font.descent, key = std::round(line * 0.6);
    const double pad = 4.0 * dpi_ / 96.0;
    double widest = 0, across = 0;
    for (const Slice& s : slices_) {
        const double w = font.width(QString::fromStdString(chart_.points[s.point].category));
        widest = std::max(widest, w);
        across += key + pad * 3 + w;
    }
    const bool row = chart_.legendPosition == 0 || chart_.legendPosition == 2;
    const QSizeF size = row ? QSizeF(across + pad, line + 2 * pad)
                            : QSizeF(key + 3 * pad + widest, line * slices_.size() + 2 * pad);
    const double margin = 8.0 * dpi_ / 96.0;
    switch (chart_.legendPosition) {
        case 0:
            return QRectF(area.center().x() - size.width() / 2,
                          area.bottom() - margin - size.height(), size.width(), size.height());
        case 2:
            return QRectF(area.center().x() - size.width() / 2, area.top() + margin, size.width(),
                          size.height());
        case 4:
            return QRectF(area.left() + margin, area.center().y() - size.height() / 2, size.width(),
                          size.height());
        default:
            return QRectF(area.right() - margin - size.width(),
                          area.center().y() - size.height() / 2, size.width(), size.height());
    }
}

void ChartPainter::paintLegend(QPainter& painter, const QRectF& box) {
    const FontCache::Entry& font = fonts_.entry(chart_.defaultFontIndex);
    const double line = font.ascent + font.descent, key = std::round(line * 0.6);
    const double pad = 4.0 * dpi_ / 96.0;
    const bool row = chart_.legendPosition == 0 || chart_.legendPosition == 2;
    painter.setFont(font.font);
    QPointF at(box.left() + pad, box.top() + pad);
    for (const Slice& s : slices_) {
        const PiePoint& p = chart_.points[s.point];
        const QString text = QString::fromStdString(p.category);
        const QRectF swatch(at.x(), at.y() + (line - key) / 2, key, key);
        painter.setPen(p.border.visible ? penFor(p.border) : QPen(Qt::NoPen));
        painter.setBrush(colorOf(p.fill.color));
        painter.drawRect(swatch);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(at.x() + key + pad, at.y() + font.ascent), text);
        if (row)
            at.rx() += key + pad * 3 + font.width(text);
        else
            at.ry() += line;
    }
}

}  // namespace xls::draw
