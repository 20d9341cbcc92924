#include "xls/draw/RotatedText.h"

#include <cmath>

namespace xls::draw {

double RotatedText::degreesFor(uint8_t rotation) {
    if (rotation <= 90) return rotation;
    if (rotation <= 180) return -(rotation - 90.0);
    return 0;  // kStacked and undefined values
}

QSizeF RotatedText::turnedSize(double width, double height, double degrees) {
    const double radians = degrees * M_PI / 180.0;
    const double c = std::fabs(std::cos(radians)), s = std::fabs(std::sin(radians));
    return QSizeF(width * c + height * s, width * s + height * c);
}

}  // namespace xls::draw
