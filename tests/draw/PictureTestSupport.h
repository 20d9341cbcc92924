#pragma once

#include <QImage>
#include <QString>
#include <string>
#include <vector>

namespace picturetest {

// A file below the source tree's tests/data (or resources) folder.
std::string dataFile(const std::string& name);
std::string templateFile();

// The golden pictures in tests/data/golden ("template.png", "<workbook>.png"), sorted.
std::vector<std::string> goldenPictures();
// The reference workbooks (.xls, .xlt) in tests/data, sorted.
std::vector<std::string> referenceWorkbooks();

// How many pixels of two pictures of the same size differ by more than `tolerance` in any colour
// channel; -1 when the sizes differ.
long differingPixels(const QImage& a, const QImage& b, int tolerance);

// Whether a pixel is dark enough to be part of a glyph on a light background.
bool isInk(QRgb pixel);

}  // namespace picturetest
