#pragma once

#include <QRect>

namespace platform {

// Window geometry is designed in twips: 1440 to the inch, 15 to a pixel at 96 dots per inch.
// These convert with the primary screen's logical DPI (96 when there is no screen).
double logicalDpi();
// The primary screen's device pixel ratio (1 without a screen, 2 at a scale factor of 2): pictures
// are drawn with this many device pixels to a logical one, and tagged with it, so that they stay
// sharp while every size and position stays in logical pixels.
double pictureScale();
int twipsToPixels(double twips);
double pixelsToTwips(double pixels);
double twipsPerPixel();
// A rectangle given in twips (left, top, width, height), in pixels.
QRect twipsRect(int left, int top, int width, int height);

}  // namespace platform
