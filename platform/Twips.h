#pragma once

namespace platform {

// Window geometry is designed in twips: 1440 to the inch, 15 to a pixel at 96 dots per inch.
// These convert with the primary screen's logical DPI (96 when there is no screen).
double logicalDpi();
int twipsToPixels(double twips);
double pixelsToTwips(double pixels);
double twipsPerPixel();

}  // namespace platform
