#pragma once

#include <QBrush>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "xls/Sheet.h"
#include "xls/Styles.h"
#include "xls/draw/CellText.h"
#include "xls/draw/FontCache.h"
#include "xls/draw/RangePicture.h"
#include "xls/draw/RotatedText.h"
#include "xls/draw/SheetLayout.h"

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
    // One cell of the drawn window.
    struct Slot {
        uint16_t xf = 15;
        bool filled = false;
        bool hasValue = false;
        int merge = -1;              // index into merges_ when the cell is part of a merged area
        bool textRunsRight = false;  // the cell's text runs on into the next cell
    };
    struct TextJob {
        int row, col;
        xls::Cell cell;
    };
    // Where a value's text goes: runs of text on one baseline, or a wrapped block.
    struct TextRun {
        double x;
        QString text;
    };
    struct TextPlan {
        size_t fontIndex = 0;
        QColor color;
        double baseline = 0;
        std::vector<TextRun> runs;
        QRect clip;
        bool needsClip = false;
        bool wrapped = false;
        QRectF wrapRect;
        int wrapFlags = 0;
        QString wrapText;
        std::optional<RotatedText> rotated;
        int top = 0, bottom = 0;  // the pixel rows the drawing may reach
    };

    // Sheet rows firstRow..lastRow of the window (inclusive).
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

    void readCells();
    void readMerges();
    // The picture is painted in bands of pixel rows, each band wholly (background, fills, grid,
    // values, borders), so that the bands can be shared out among a few threads: each band is
    // painted by exactly one thread, every layer clipped to the band, and only the cells and
    // values that reach into it are painted there.
    void paintBands(QImage& image, int bandHeight);
    // How many helper threads `pieces` pieces of work are worth; shareOut runs work(who) on the
    // calling thread (who 0) and on that many helpers, and rethrows the first failure.
    int helpersFor(int pieces) const;
    static void shareOut(int helpers, const std::function<void(size_t who)>& work);
    void paintBand(Canvas& canvas, const QRect& band, const std::vector<size_t>& plans);
    RowSpan rowsReaching(const QRect& band) const;
    // For each band, the values whose drawing may reach into it, in painting order.
    std::vector<std::vector<size_t>> plansByBand(int bandHeight, int bandCount) const;
    void paintFills(Canvas& canvas, RowSpan rows);
    void paintGridlines(QPainter& painter, RowSpan rows);
    void planTexts();
    std::optional<TextPlan> planText(const TextJob& job, FontCache& fonts, CellText& cellText);
    static void setReach(TextPlan& plan, const FontCache::Entry& font);
    void placeRuns(TextPlan& plan, const CellContent& content, const FontCache::Entry& font,
                   xls::HAlign align, double x, double right);
    void runOn(TextPlan& plan, int row, int col, double left, double right);
    QRect centerAcrossBox(const TextJob& job, const QRect& box);
    void planRotated(TextPlan& plan, const QString& text, const FontCache::Entry& font,
                     uint8_t rotation, xls::HAlign align, xls::VAlign valign, const QRectF& inner);
    void paintTexts(Canvas& canvas, const QRect& band, const std::vector<size_t>& plans);
    void paintBorders(QPainter& painter, RowSpan rows);
    // The cut of a picture `size` large whose notice strip starts at `stripTop`.
    PictureCut cutAt(const QSize& size, int stripTop) const;
    void paintCutNotice(QPainter& painter, const QRect& strip);

    Slot& slot(int row, int col) {
        return slots_[(row - range_.firstRow) * columns_ + (col - range_.firstCol)];
    }
    bool isMergeOrigin(int row, int col) const;
    bool mergeHidesLeftEdge(int row, int col) const;
    bool mergeHidesTopEdge(int row, int col) const;
    // The neighbour on the right (below) belongs to the same merged area: no edge between them.
    bool mergeGoesOnRight(int row, int col) const;
    bool mergeGoesOnBelow(int row, int col) const;
    QRect cellRect(int row, int col) const;  // the merged area's rect for a merge origin
    bool isVisible(int row, int col) const {
        return layout_.colWidth(col) > 0 && layout_.rowHeight(row) > 0;
    }
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
    int px(double logicalPixelsAt96) const;

    const xls::Styles& styles_;
    const xls::Sheet& sheet_;
    xls::CellRange range_;
    PictureOptions options_;
    FontCache fonts_;
    CellText cellText_;
    SheetLayout layout_;
    int lastRow_ = 0, lastCol_ = 0;  // the window of the range that the picture shows
    int columns_ = 0;
    bool showGridlines_ = true;  // read once: the sheet looks it up in its records
    std::vector<Slot> slots_;
    std::vector<xls::CellRange> merges_;
    std::vector<TextJob> texts_;
    std::vector<TextPlan> plans_;
    PictureCut cut_;
};

}  // namespace xls::draw
