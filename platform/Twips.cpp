#include "platform/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace platform {

double logicalDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

double pictureScale() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double ratio = screen ? screen->devicePixelRatio() : 1.0;
    return ratio > 0 ? ratio : 1.0;
}

double twipsPerPixel() { return 1440.0 / logicalDpi(); }

int twipsToPixels(double twips) { return static_cast<int>(std::lround(twips / twipsPerPixel())); }

double pixelsToTwips(double pixels) { return pixels * twipsPerPixel(); }

}  // namespace platform

namespace platform {

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

}  // namespace platform
