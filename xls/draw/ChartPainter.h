#pragma once

#include <QPainter>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <vector>

#include "xls/draw/ChartModel.h"
#include "xls/draw/FontCache.h"

namespace xls::draw {

// Paints a pie or 3-D pie chart (ChartObject of kind Pie or Pie3D) into `area` of a painter, in
// pixels: the chart area's fill and border, the plot area (a flat pie's), the pie's shadow, the
// slices back to front (a 3-D pie's walls below its top faces, each slice pulled out by its
// explosion), the data labels outside their slices (moved apart where they would overlap, with
// a leader line to a moved label), the title and the legend. Points without a number, or of 0,
// are left out; a negative amount is drawn as its absolute value. Text is drawn with the
// workbook's fonts through `fonts` (bundled fonts only). A chart of another kind paints nothing.
class ChartPainter {
  public:
    ChartPainter(const ChartObject& chart, FontCache& fonts, double dpi);
    void paint(QPainter& painter, const QRectF& area);

    // One slice as painted: the point it shows and its angles, clockwise from 12 o'clock in
    // degrees (start and sweep), and its label's text and box (empty when it has none).
    struct Slice {
        size_t point;
        double start, sweep;
        QString label;
        QRectF labelBox;
    };
    // The slices of the last paint(), in series order.
    const std::vector<Slice>& slices() const { return slices_; }
    // The pie's centre and radii (horizontal, vertical) of its top face, unexploded.
    QPointF centre() const { return centre_; }

  private:
    void planSlices();
    void planGeometry(const QRectF& plot);
    void paintSlices(QPainter& painter);
    // A wall of a 3-D pie: its shape, its point, how much darker than the fill it is, and how
    // near the viewer its middle lies (in radii).
    struct Wall {
        QPolygonF shape;
        size_t point;
        double shade;
        double nearness;
    };
    void addWalls(std::vector<Wall>& walls, const Slice& s) const;
    void placeLabels(const QRectF& area);
    void paintLabels(QPainter& painter);
    QRectF titleBox(const QRectF& area);
    void paintTitle(QPainter& painter, const QRectF& area);
    QRectF legendBox(const QRectF& area);
    void paintLegend(QPainter& painter, const QRectF& box);

    QPointF onRim(double degrees, double radiusScale, const QPointF& centre) const;
    QPointF offsetOf(const Slice& s) const;
    // Appends the rim from `from` to `to` degrees around `centre` to `polygon`.
    void arc(QPolygonF& polygon, double from, double to, const QPointF& centre) const;
    QPen penFor(const ChartLine& line) const;

    const ChartObject& chart_;
    FontCache& fonts_;
    double dpi_;
    std::vector<Slice> slices_;
    double total_ = 0;
    // Geometry of the pie in the picture.
    QPointF centre_;
    double rx_ = 0, ry_ = 0, thickness_ = 0;
    std::vector<QPointF> anchors_;  // per slice: where its leader line starts
};

}  // namespace xls::draw
