#pragma once

#include <QColor>
#include <QPainter>
#include <cstdint>
#include <vector>

namespace xls::draw {

// How a cell border style looks on screen, in pixels: its thickness, its dash rhythm (on, off,
// on, off... lengths; empty for a solid line) and whether it is two lines with a gap.
struct BorderLook {
    int thickness = 1;
    std::vector<int> dashes;
    bool isDouble = false;
};

// The look of border style 1..13 (thin, medium, dashed, dotted, thick, double, hair, medium
// dashed, dash-dot, medium dash-dot, dash-dot-dot, medium dash-dot-dot, slanted dash-dot).
BorderLook borderLook(uint8_t style);

// Draws a border line of `style` centred on pixel column `pos` (vertical) or pixel row `pos`
// (horizontal), from pixel `from` to pixel `to`, both included. Style 0 draws nothing.
void drawBorderLine(QPainter& painter, uint8_t style, const QColor& color, bool vertical, int pos,
                    int from, int to);

}  // namespace xls::draw
