#pragma once

#include <QImage>
#include <QPainter>
#include <QSize>
#include <QString>

#include "xls/NumericText.h"
#include "xls/Workbook.h"

namespace xls::draw {

struct PictureOptions {
    double dpi = 96.0;          // logical DPI the picture is drawn at
    int maxSidePixels = 16384;  // a larger picture is cut to this size, top left kept
    // A picture of more pixels is cut too, rows first: 64 Mi pixels are 256 MiB as RGB32.
    long long maxPixels = 64LL * 1024 * 1024;
    // The picture is painted in bands of about this many bytes (at least 8 pixel rows), shared
    // out among up to `threads` threads (0: one a core, at most 4). Neither changes a pixel. A
    // value that crosses a band edge is laid out once for each band, so bands are not small.
    int bandBytes = 512 * 1024;
    int threads = 0;
    // The decimal and group separators numbers are shown with, as the user writes numbers.
    xls::NumberConventions numbers;
};

// What a picture leaves out of its range: the rows and columns (those with a height and a
// width) that it does not show whole.
struct PictureCut {
    int rows = 0;
    int columns = 0;
    bool any() const { return rows > 0 || columns > 0; }
};

// The size of the picture of a range `full` pixels large: each side at most
// options.maxSidePixels, and at most options.maxPixels in all, by cutting rows first.
QSize pictureSize(const QSize& full, const PictureOptions& options);

// The words in the last strip of a cut picture: "… 185 more rows not shown".
QString cutNotice(const PictureCut& cut);

// Draws the cells of `range` on sheet `sheetIndex` as a spreadsheet application shows them on
// screen (no row/column headers). A range larger than the picture may be is cut, top left kept,
// and the picture's last strip says what is not shown; `cut` (when given) receives the same.
// Throws xls::Error on a bad sheet index.
QImage drawRange(const xls::Workbook& book, int sheetIndex, const xls::CellRange& range,
                 const PictureOptions& options = {}, PictureCut* cut = nullptr);

// The size drawRange gives the same picture, in pixels at options.dpi.
QSize rangePictureSize(const xls::Workbook& book, int sheetIndex, const xls::CellRange& range,
                       const PictureOptions& options = {});

// Paints the picture drawRange gives with `painter`, whose coordinates are taken as the
// picture's pixels (scale the painter to fit another size): fills, lines and text as they are,
// so that a vector device (SVG, PDF, a printer) keeps the text as text and stays sharp at any
// size. One pass on the calling thread. Throws xls::Error on a bad sheet index.
void paintRange(QPainter& painter, const xls::Workbook& book, int sheetIndex,
                const xls::CellRange& range, const PictureOptions& options = {});

}  // namespace xls::draw
