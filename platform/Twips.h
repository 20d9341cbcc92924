#pragma once

#include <QRect>

namespace platform {

// Window geometry is designed in twips: 1440 to the inch, 15 to a pixel at 96 dots per inch.
// These convert with the primary screen's logical DPI (96 when there is no screen).
double logicalDpi();
int twipsToPixels(double twips);
double pixelsToTwips(double pixels);
double twipsPerPixel();
// A rectangle given in twips (left, top, width, height), in pixels.
QRect twipsRect(int left, int top, int width, int height);

}  // namespace platform
