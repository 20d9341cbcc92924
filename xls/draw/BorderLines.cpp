#include "xls/draw/BorderLines.h"

#include <algorithm>

namespace xls::draw {

BorderLook borderLook(uint8_t style) {
    switch (style) {
        case 1:
            return {1, {}, false};  // thin
        case 2:
            return {2, {}, false};  // medium
        case 3:
            return {1, {3, 1}, false};  // dashed
        case 4:
            return {1, {1, 1}, false};  // dotted
        case 5:
            return {3, {}, false};  // thick
        case 6:
            return {1, {}, true};  // double
        case 7:
            return {1, {1, 1}, false};  // hair
        case 8:
            return {2, {9, 3}, false};  // medium dashed
        case 9:
            return {1, {9, 3, 3, 3}, false};  // dash-dot
        case 10:
            return {2, {9, 3, 3, 3}, false};  // medium dash-dot
        case 11:
            return {1, {9, 3, 3, 3, 3, 3}, false};  // dash-dot-dot
        case 12:
            return {2, {9, 3, 3, 3, 3, 3}, false};  // medium dash-dot-dot
        case 13:
            return {2, {11, 1, 5, 1}, false};  // slanted dash-dot
        default:
            return {0, {}, false};
    }
}

namespace {

void fillSpan(QPainter& painter, const QColor& color, bool vertical, int first, int thickness,
              int from, int to) {
    if (to < from) return;
    if (vertical)
        painter.fillRect(first, from, thickness, to - from + 1, color);
    else
        painter.fillRect(from, first, to - from + 1, thickness, color);
}

void drawStroke(QPainter& painter, const BorderLook& look, const QColor& color, bool vertical,
                int first, int from, int to) {
    if (look.dashes.empty()) {
        fillSpan(painter, color, vertical, first, look.thickness, from, to);
        return;
    }
    size_t index = 0;
    for (int at = from; at <= to;) {
        const int length = look.dashes[index];
        if (index % 2 == 0)
            fillSpan(painter, color, vertical, first, look.thickness, at,
                     std::min(to, at + length - 1));
        at += length;
        index = (index + 1) % look.dashes.size();
    }
}

}  // namespace

void drawBorderLine(QPainter& painter, uint8_t style, const QColor& color, bool vertical, int pos,
                    int from, int to) {
    const BorderLook look = borderLook(style);
    if (look.thickness == 0) return;
    if (look.isDouble) {
        drawStroke(painter, look, color, vertical, pos - 1, from - 1, to + 1);
        drawStroke(painter, look, color, vertical, pos + 1, from + 1, to - 1);
        return;
    }
    drawStroke(painter, look, color, vertical, pos - (look.thickness - 1) / 2, from, to);
}

}  // namespace xls::draw
