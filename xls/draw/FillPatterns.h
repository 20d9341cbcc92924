#pragma once

#include <QBrush>
#include <QColor>
#include <cstdint>

namespace xls::draw {

// The brush of a cell fill: pattern 1 is the foreground colour alone; patterns 2..18 are the
// spreadsheet's grey shades, stripes, diagonals and grids drawn in the foreground colour over the
// background colour, repeating every 4 pixels (aligned to the picture, so neighbours join up).
// Pattern 0 (no fill) gives Qt::NoBrush.
QBrush fillBrush(uint8_t pattern, const QColor& foreground, const QColor& background);

// Whether the pattern's pixel (x, y) shows the foreground colour.
bool patternBit(uint8_t pattern, int x, int y);

}  // namespace xls::draw
