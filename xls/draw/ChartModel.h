#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "xls/StyleTypes.h"

namespace xls::draw {

// A chart object embedded in a sheet, as its records describe it: what the chart painter needs
// and nothing more. Made by readCharts (ChartReader.h); pure data.

// Where an embedded chart sits over the cells: its top left corner in column `firstCol`,
// `firstColX` 1/1024 of that column's width from its left edge, and in row `firstRow`,
// `firstRowY` 1/256 of that row's height from its top; the bottom right corner likewise.
struct ChartAnchor {
    int firstCol = 0, firstColX = 0, firstRow = 0, firstRowY = 0;
    int lastCol = 0, lastColX = 0, lastRow = 0, lastRowY = 0;
};

// A fill (AREAFORMAT): none, or one colour.
struct ChartFill {
    bool visible = true;
    xls::Rgb color{255, 255, 255};
};

// A line (LINEFORMAT): none, or a colour and a weight: -1 hairline, 0 narrow, 1 medium, 2 wide.
struct ChartLine {
    bool visible = false;
    xls::Rgb color{0, 0, 0};
    int weight = -1;
};

// Which parts a data label shows (ATTACHEDLABEL), joined by one space in this order.
struct LabelParts {
    bool category = false;
    bool value = false;
    bool percent = false;
    bool any() const { return category || value || percent; }
};

// A text of the chart: the FONT record it is drawn with and its colour.
struct ChartText {
    std::string text;  // UTF-8
    size_t fontIndex = 0;
    bool autoColor = true;  // automatic: black
    xls::Rgb color{0, 0, 0};
};

// One point of the pie's series.
struct PiePoint {
    std::string category;  // the category's cell as it reads, or "1", "2", ... without one
    double value = 0;      // the amount; only points with a number other than 0 are drawn
    bool hasNumber = false;
    std::string valueText;  // the amount in its number format
    ChartFill fill;
    ChartLine border;
    int explosionPercent = 0;  // how far the slice is pulled out, in percent of the radius
    LabelParts label;
    ChartText labelText;  // the label's font and colour (its text is made when painting)
};

enum class ChartKind { Pie, Pie3D, Other };

// A chart as the painter draws it. Rectangles of the chart's parts are fractions (0..1) of the
// chart area's width and height.
struct ChartObject {
    std::optional<ChartAnchor> anchor;  // none: not placed over cells (only its size is known)
    double widthPoints = 0, heightPoints = 0;  // the CHART record's size
    ChartKind kind = ChartKind::Other;
    std::string kindName;  // "3-D pie", "pie", "bar", "line", ...: for messages

    ChartFill area;  // the chart area
    ChartLine areaBorder;
    ChartFill plotFill;
    ChartLine plotBorder;
    // The plot area (the pie's room): left, top, width, height as fractions of the chart area.
    double plotX = 0.1, plotY = 0.15, plotW = 0.8, plotH = 0.75;

    int firstSliceDegrees = 0;  // clockwise from 12 o'clock
    int elevationDegrees = 90;  // 90: seen from straight above (a flat pie)
    int heightPercent = 100;    // the 3-D pie's thickness (CHART3D pcHeight)
    bool shadow = false;
    bool leaderLines = false;

    std::optional<ChartText> title;
    bool legend = false;
    int legendPosition = 3;  // LEGEND wType: 0 bottom, 1 corner, 2 top, 3 right, 4 left
    size_t defaultFontIndex = 0;

    std::vector<PiePoint> points;  // in series order, drawn and left out alike
};

}  // namespace xls::draw
