#pragma once

#include <QBrush>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "xls/Sheet.h"
#include "xls/Styles.h"
#include "xls/draw/CellGrid.h"
#include "xls/draw/CellText.h"
#include "xls/draw/FontCache.h"
#include "xls/draw/MergedAreas.h"
#include "xls/draw/RangePicture.h"
#include "xls/draw/SheetLayout.h"
#include "xls/draw/TextLayout.h"

namespace xls::draw {

// Paints one range of one sheet: cell fills, gridlines, values and borders, in that order, over
// a white background. Only the part of the range that fits in the picture is read; a cut picture
// ends in a strip that says how many rows and columns it leaves out.
class RangePainter {
  public:
    RangePainter(const xls::Styles& styles, const xls::Sheet& sheet, const xls::CellRange& range,
                 const PictureOptions& options);
    QImage paint();
    // Paints the same picture with `painter`, in one pass on the calling thread, as lines, fills
    // and text (a vector file keeps its text as text). The picture's size in pixels at the
    // options' DPI is pictureSize(); the painter's coordinates are taken as those pixels.
    void paintOn(QPainter& painter);
    // The size paint() gives, known before painting.
    QSize pictureSize() const;
    // What the painted picture leaves out (after paint()).
    const PictureCut& cut() const { return cut_; }

  private:
    // Sheet rows first..last of the window (inclusive).
    struct RowSpan {
        int first, last;
    };
    // What one painting thread paints with. A paint device takes one painter at a time and a font
    // keeps its font engine for the thread that uses it, so every thread paints through its own
    // image over the picture's pixels, with its own fonts and brushes.
    struct Canvas {
        Canvas(uchar* pixels, const QSize& size, qsizetype bytesPerLine, const xls::Styles& styles,
               double dpi);
        // A canvas over another painter's device (a vector file, a printer).
        Canvas(QPainter& external, const xls::Styles& styles, double dpi);
        QImage device;
        FontCache fonts;
        std::unordered_map<uint64_t, QBrush> brushes;
        std::optional<QPainter> own;  // the painter over `device`, when the canvas has one
        QPainter& painter;
    };

    // The picture's size, what it leaves out, and where a cut picture's notice strip starts.
    struct Frame {
        QSize size;   // the picture, notice strip included
        QSize shown;  // the part of it that shows cells
        PictureCut cut;
        int stripTop = 0;
    };
    Frame frame() const;
    // Reads the cells and plans the values of the part of the range that the picture shows.
    Frame prepare();

    // The picture is painted in bands of pixel rows, each band wholly (background, fills, grid,
    // values, borders), so that the bands can be shared out among a few threads: each band is
    // painted by exactly one thread, every layer clipped to the band, and only the cells and
    // values that reach into it are painted there.
    void paintBands(QImage& image, int bandHeight);
    void paintBand(Canvas& canvas, const QRect& band, const std::vector<size_t>& plans);
    RowSpan rowsReaching(const QRect& band) const;
    // For each band, the values whose drawing may reach into it, in painting order.
    std::vector<std::vector<size_t>> plansByBand(int bandHeight, int bandCount) const;
    void paintFills(Canvas& canvas, RowSpan rows);
    void paintGridlines(QPainter& painter, RowSpan rows);
    void paintTexts(Canvas& canvas, const QRect& band, const std::vector<size_t>& plans);
    void paintBorders(QPainter& painter, RowSpan rows);
    // The cut of a picture `size` large whose notice strip starts at `stripTop`.
    PictureCut cutAt(const QSize& size, int stripTop) const;
    void paintCutNotice(QPainter& painter, const QRect& strip);

    // Calls visit(row, col, box) for every cell of `rows` that has a width and a height, row by
    // row; box is the cell's own pixel rectangle (not its merged area's).
    template <typename Visit>
    void forEachShownCell(RowSpan rows, Visit visit) {
        for (int row = rows.first; row <= rows.last; ++row) {
            const int top = layout_.rowTop(row), height = layout_.rowHeight(row);
            if (height == 0) continue;
            for (int col = range_.firstCol; col <= lastCol_; ++col) {
                const int width = layout_.colWidth(col);
                if (width > 0) visit(row, col, QRect(layout_.colLeft(col), top, width, height));
            }
        }
    }
    const QBrush& brushFor(Canvas& canvas, const xls::XfStyle& xf) const;
    int px(double pixelsAt96) const { return pixelsAt(options_.dpi, pixelsAt96); }

    const xls::Styles& styles_;
    const xls::Sheet& sheet_;
    xls::CellRange range_;
    PictureOptions options_;
    FontCache fonts_;
    CellText cellText_;
    SheetLayout layout_;
    int lastRow_ = 0, lastCol_ = 0;  // the window of the range that the picture shows
    bool showGridlines_ = true;      // read once: the sheet looks it up in its records
    MergedAreas merges_;
    CellGrid grid_;
    std::vector<TextPlan> plans_;
    PictureCut cut_;
};

}  // namespace xls::draw
