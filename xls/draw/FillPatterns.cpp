#include "xls/draw/FillPatterns.h"

#include <QImage>

namespace xls::draw {

bool patternBit(uint8_t pattern, int x, int y) {
    const int px = x & 3, py = y & 3;
    const int down = (x - y) & 3;  // diagonals from top left to bottom right
    const int up = (x + y) & 3;    // diagonals from bottom left to top right
    switch (pattern) {
        case 1:
            return true;  // solid
        case 2:
            return ((x + y) & 1) == 0;  // 50% grey
        case 3:
            return !((px & 1) == 0 && (py & 1) == 0);  // 75% grey
        case 4:
            return (py & 1) == 0 && (px & 1) == (py >> 1);  // 25% grey
        case 5:
            return py < 2;  // dark horizontal
        case 6:
            return px < 2;  // dark vertical
        case 7:
            return down < 2;  // dark down diagonal
        case 8:
            return up < 2;  // dark up diagonal
        case 9:
            return ((px >> 1) + (py >> 1)) % 2 == 0;  // dark grid
        case 10:
            return down != 2 && up != 0;  // dark trellis
        case 11:
            return py == 0;  // thin horizontal
        case 12:
            return px == 0;  // thin vertical
        case 13:
            return down == 0;  // thin down diagonal
        case 14:
            return up == 0;  // thin up diagonal
        case 15:
            return px == 0 || py == 0;  // thin grid
        case 16:
            return down == 0 || up == 0;  // thin trellis
        case 17:
            return (px == 0 && py == 0) || (px == 2 && py == 2);  // 12.5% grey
        case 18:
            return px == 0 && py == 0;  // 6.25% grey
        default:
            return false;
    }
}

QBrush fillBrush(uint8_t pattern, const QColor& foreground, const QColor& background) {
    if (pattern == 0) return Qt::NoBrush;
    if (pattern == 1 || pattern > 18) return QBrush(pattern == 1 ? foreground : background);
    QImage tile(8, 8, QImage::Format_RGB32);
    const QRgb fg = foreground.rgb(), bg = background.rgb();
    for (int y = 0; y < 8; ++y) {
        auto* line = reinterpret_cast<QRgb*>(tile.scanLine(y));
        for (int x = 0; x < 8; ++x) line[x] = patternBit(pattern, x, y) ? fg : bg;
    }
    return QBrush(tile);
}

}  // namespace xls::draw
