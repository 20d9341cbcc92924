#include "xls/draw/RangePainter.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "xls/BiffFormat.h"
#include "xls/draw/BorderLines.h"
#include "xls/draw/BundledFonts.h"
#include "xls/draw/FillPatterns.h"
#include "xls/draw/WorkSharing.h"

namespace xls::draw {

namespace {

const QColor kGridline(212, 212, 212);
// The strip that ends a cut picture: one standard row (15 points, 20 pixels at 96 DPI) of dark
// text on pale yellow under a grey line, so that it never passes for a cell of the sheet.
constexpr double kNoticeHeight = 20;
const QColor kNoticeFill(255, 246, 204);
const QColor kNoticeLine(160, 160, 160);
const QColor kNoticeText(51, 51, 51);
// A band of the picture (PictureOptions::bandBytes) has at least this many pixel rows.
constexpr int kMinBandRows = 8;
// How far a cell's painting reaches beyond its own rows: its top border is drawn on the row
// above, and thick and double borders are up to three pixels wide.
constexpr int kCellReach = 4;

xls::CellRange normalized(xls::CellRange range) {
    if (range.firstRow > range.lastRow) std::swap(range.firstRow, range.lastRow);
    if (range.firstCol > range.lastCol) std::swap(range.firstCol, range.lastCol);
    range.firstRow = std::clamp<int>(range.firstRow, 0, xls::kLastRow);
    range.lastRow = std::clamp<int>(range.lastRow, 0, xls::kLastRow);
    range.firstCol = std::clamp<int>(range.firstCol, 0, xls::kLastCol);
    range.lastCol = std::clamp<int>(range.lastCol, 0, xls::kLastCol);
    return range;
}

QColor toQColor(const xls::Rgb& rgb) { return QColor(rgb.r, rgb.g, rgb.b); }

}  // namespace

RangePainter::RangePainter(const xls::Styles& styles, const xls::Sheet& sheet,
                           const xls::CellRange& range, const PictureOptions& options)
    : styles_(styles),
      sheet_(sheet),
      range_(normalized(range)),
      options_(options),
      fonts_(styles, options.dpi),
      cellText_(styles, options.numbers),
      layout_(sheet, range_, fonts_.maxDigitWidth(), options.dpi) {}

RangePainter::Frame RangePainter::frame() const {
    const QSize full(layout_.width(), layout_.height());
    const QSize shown = xls::draw::pictureSize(full, options_);
    const int width = shown.width(), height = shown.height();
    // A cut picture's last strip, one standard row high, says what is left out. When only
    // columns are cut it goes below the rows if the bounds leave room, else over the last rows.
    const int stripHeight = std::min(px(kNoticeHeight), std::max(height, 1));
    Frame frame;
    frame.size = frame.shown = shown;
    frame.stripTop = height - stripHeight;
    int pictureHeight = height;
    if (width < full.width() && height == full.height() &&
        xls::draw::pictureSize(QSize(width, height + stripHeight), options_).height() ==
            height + stripHeight) {
        pictureHeight = height + stripHeight;
        frame.stripTop = height;
    }
    if (width < full.width() || height < full.height()) {
        frame.cut = cutAt(shown, frame.stripTop);
        if (frame.cut.any()) frame.size.setHeight(pictureHeight);
    }
    return frame;
}

QSize RangePainter::pictureSize() const { return frame().size; }

RangePainter::Frame RangePainter::prepare() {
    const Frame shape = frame();
    cut_ = shape.cut;
    if (shape.size.isEmpty()) return shape;
    lastCol_ = layout_.lastColBefore(shape.shown.width());
    lastRow_ = layout_.lastRowBefore(shape.shown.height());
    const xls::CellRange window{range_.firstRow, range_.firstCol, lastRow_, lastCol_};
    merges_ = MergedAreas(sheet_.mergedRanges(), window);
    grid_ = CellGrid(styles_, sheet_, layout_, window, merges_);
    plans_ = TextLayout(styles_, layout_, grid_, merges_, lastCol_, options_.dpi)
                 .planAll(fonts_, cellText_, options_.threads);
    showGridlines_ = sheet_.showGridlines();
    return shape;
}

QImage RangePainter::paint() {
    const Frame shape = prepare();
    QImage image(shape.size, QImage::Format_RGB32);
    if (image.isNull()) return image;
    paintBands(image, std::max<int>(kMinBandRows, int(options_.bandBytes / image.bytesPerLine())));
    if (cut_.any()) {
        QPainter painter(&image);
        paintCutNotice(painter,
                       QRect(0, shape.stripTop, image.width(), image.height() - shape.stripTop));
    }
    return image;
}

// One band, the whole picture: the same layers in the same order as paint()'s bands.
void RangePainter::paintOn(QPainter& painter) {
    const Frame shape = prepare();
    const QSize size = shape.size;
    if (size.isEmpty()) return;
    const int stripTop = shape.stripTop;
    std::vector<size_t> plans(plans_.size());
    for (size_t i = 0; i < plans.size(); ++i) plans[i] = i;
    painter.save();
    {
        Canvas canvas(painter, styles_, options_.dpi);
        paintBand(canvas, QRect(QPoint(0, 0), size), plans);
    }
    if (cut_.any())
        paintCutNotice(painter, QRect(0, stripTop, size.width(), size.height() - stripTop));
    painter.restore();
}

RangePainter::Canvas::Canvas(uchar* pixels, const QSize& size, qsizetype bytesPerLine,
                             const xls::Styles& styles, double dpi)
    : device(pixels, size.width(), size.height(), bytesPerLine, QImage::Format_RGB32),
      fonts(styles, dpi),
      painter(own.emplace(&device)) {
    painter.setRenderHint(QPainter::TextAntialiasing, true);
}

RangePainter::Canvas::Canvas(QPainter& external, const xls::Styles& styles, double dpi)
    : fonts(styles, dpi), painter(external) {}

void RangePainter::paintBands(QImage& image, int bandHeight) {
    const int bandCount = (image.height() + bandHeight - 1) / bandHeight;
    const std::vector<std::vector<size_t>> plans = plansByBand(bandHeight, bandCount);
    uchar* const pixels = image.bits();
    std::atomic<int> next{0};
    auto paintSome = [&] {
        Canvas canvas(pixels, image.size(), image.bytesPerLine(), styles_, options_.dpi);
        for (int band = next++; band < bandCount; band = next++) {
            const int top = band * bandHeight;
            paintBand(canvas,
                      QRect(0, top, image.width(), std::min(bandHeight, image.height() - top)),
                      plans[static_cast<size_t>(band)]);
        }
    };
    shareOut(helpersFor(bandCount, options_.threads), [&](size_t) { paintSome(); });
}

void RangePainter::paintBand(Canvas& canvas, const QRect& band, const std::vector<size_t>& plans) {
    QPainter& painter = canvas.painter;
    painter.setClipRect(band);
    painter.fillRect(band, Qt::white);
    const RowSpan rows = rowsReaching(band);
    paintFills(canvas, rows);
    if (showGridlines_) paintGridlines(painter, rows);
    paintTexts(canvas, band, plans);
    paintBorders(painter, rows);
}

// The rows of the window whose cells paint into `band`: those within reach of it, and the first
// rows of merged areas that reach into it (a merged area is filled from its first cell).
RangePainter::RowSpan RangePainter::rowsReaching(const QRect& band) const {
    RowSpan rows{layout_.lastRowBefore(band.top() - kCellReach + 1),
                 std::min(lastRow_, layout_.lastRowBefore(band.bottom() + kCellReach + 1))};
    for (const xls::CellRange& merged : merges_.areas())
        if (merged.firstRow <= rows.last && merged.lastRow >= rows.first)
            rows.first = std::min(rows.first, merged.firstRow);
    return rows;
}

std::vector<std::vector<size_t>> RangePainter::plansByBand(int bandHeight, int bandCount) const {
    std::vector<std::vector<size_t>> bands(static_cast<size_t>(bandCount));
    if (bandCount == 0) return bands;
    auto bandOf = [&](int y) { return std::clamp(y / bandHeight, 0, bandCount - 1); };
    for (size_t index = 0; index < plans_.size(); ++index) {
        const TextPlan& plan = plans_[index];
        for (int band = bandOf(std::max(0, plan.top)); band <= bandOf(std::max(0, plan.bottom));
             ++band)
            bands[static_cast<size_t>(band)].push_back(index);
    }
    return bands;
}

PictureCut RangePainter::cutAt(const QSize& size, int stripTop) const {
    PictureCut cut;
    for (int row = range_.firstRow; row <= range_.lastRow; ++row)
        if (layout_.rowHeight(row) > 0 && layout_.rowTop(row) + layout_.rowHeight(row) > stripTop)
            ++cut.rows;
    for (int col = range_.firstCol; col <= range_.lastCol; ++col)
        if (layout_.colWidth(col) > 0 &&
            layout_.colLeft(col) + layout_.colWidth(col) > size.width())
            ++cut.columns;
    return cut;
}

void RangePainter::paintCutNotice(QPainter& painter, const QRect& strip) {
    painter.setClipping(false);
    painter.fillRect(strip, kNoticeFill);
    painter.fillRect(QRect(strip.left(), strip.top(), strip.width(), 1), kNoticeLine);
    QFont font = bundledFont(QStringLiteral("Arial"));
    font.setPixelSize(std::max(1, px(12)));
    painter.setFont(font);
    painter.setPen(kNoticeText);
    painter.drawText(strip.adjusted(px(4), 1, -px(4), 0), Qt::AlignLeft | Qt::AlignVCenter,
                     cutNotice(cut_));
}

const QBrush& RangePainter::brushFor(Canvas& canvas, const xls::XfStyle& xf) const {
    const uint64_t key = uint64_t(xf.fillPattern) | (uint64_t(xf.fillForeground) << 8) |
                         (uint64_t(xf.fillBackground) << 24);
    auto it = canvas.brushes.find(key);
    if (it == canvas.brushes.end()) {
        QBrush brush = fillBrush(xf.fillPattern, toQColor(styles_.color(xf.fillForeground)),
                                 toQColor(styles_.color(xf.fillBackground)));
        it = canvas.brushes.emplace(key, brush).first;
    }
    return it->second;
}

void RangePainter::paintFills(Canvas& canvas, RowSpan rows) {
    for (int row = rows.first; row <= rows.last; ++row) {
        for (int col = range_.firstCol; col <= lastCol_; ++col) {
            const GridCell& cell = grid_.at(row, col);
            if (!cell.filled || layout_.colWidth(col) == 0 || layout_.rowHeight(row) == 0) continue;
            if (merges_.areaAt(row, col) >= 0 && !merges_.isOrigin(row, col)) continue;
            canvas.painter.fillRect(layout_.rectOf(merges_.extentOf(row, col)),
                                    brushFor(canvas, styles_.xf(cell.xf)));
        }
    }
}

// Excel draws the grid on the last pixel column and row of every cell; a filled cell, the inside
// of a merged area and text running on into a neighbour hide it.
void RangePainter::paintGridlines(QPainter& painter, RowSpan rows) {
    forEachShownCell(rows, [&](int row, int col, const QRect& box) {
        const GridCell& cell = grid_.at(row, col);
        if (cell.filled) return;
        const bool hideRight = cell.textRunsRight ||
                               (col < lastCol_ && grid_.at(row, col + 1).filled) ||
                               merges_.goesOnRight(row, col);
        if (!hideRight) painter.fillRect(box.right(), box.top(), 1, box.height(), kGridline);
        const bool hideBottom =
            (row < lastRow_ && grid_.at(row + 1, col).filled) || merges_.goesOnBelow(row, col);
        if (!hideBottom) painter.fillRect(box.left(), box.bottom(), box.width(), 1, kGridline);
    });
}

void RangePainter::paintTexts(Canvas& canvas, const QRect& band, const std::vector<size_t>& plans) {
    QPainter& painter = canvas.painter;
    size_t currentFont = SIZE_MAX;
    for (const size_t index : plans) {
        const TextPlan& plan = plans_[index];
        const QRect clip = plan.clip & band;
        if (plan.needsClip && clip.isEmpty()) continue;
        if (plan.fontIndex != currentFont) {
            painter.setFont(canvas.fonts.entry(plan.fontIndex).font);
            currentFont = plan.fontIndex;
        }
        painter.setPen(plan.color);
        if (plan.needsClip) painter.setClipRect(clip);
        if (plan.rotated) {
            const FontCache::Entry& font = canvas.fonts.entry(plan.fontIndex);
            plan.rotated->paint(painter, [&font](QChar ch) { return font.width(QString(ch)); });
        } else if (plan.wrapped) {
            painter.drawText(plan.wrapRect, plan.wrapFlags, plan.wrapText);
        } else {
            for (const TextRun& run : plan.runs)
                painter.drawText(QPointF(run.x, plan.baseline), run.text);
        }
        if (plan.needsClip) painter.setClipRect(band);
    }
}

// Borders lie on the grid: a cell's right and bottom borders on its own last pixel column and
// row, its left and top borders on its neighbours' (the picture's first pixel at the edge).
void RangePainter::paintBorders(QPainter& painter, RowSpan rows) {
    forEachShownCell(rows, [&](int row, int col, const QRect& box) {
        const xls::XfStyle& xf = styles_.xf(grid_.at(row, col).xf);
        if (!xf.left.style && !xf.right.style && !xf.top.style && !xf.bottom.style) return;
        const int x0 = std::max(0, box.left() - 1), x1 = box.right();
        const int y0 = std::max(0, box.top() - 1), y1 = box.bottom();
        if (xf.top.style && !merges_.hidesTopEdge(row, col))
            drawBorderLine(painter, xf.top.style, toQColor(styles_.color(xf.top.colorIndex)), false,
                           y0, x0, x1);
        if (xf.bottom.style && !merges_.goesOnBelow(row, col))
            drawBorderLine(painter, xf.bottom.style, toQColor(styles_.color(xf.bottom.colorIndex)),
                           false, y1, x0, x1);
        if (xf.left.style && !merges_.hidesLeftEdge(row, col))
            drawBorderLine(painter, xf.left.style, toQColor(styles_.color(xf.left.colorIndex)),
                           true, x0, y0, y1);
        if (xf.right.style && !merges_.goesOnRight(row, col))
            drawBorderLine(painter, xf.right.style, toQColor(styles_.color(xf.right.colorIndex)),
                           true, x1, y0, y1);
    });
}

}  // namespace xls::draw
