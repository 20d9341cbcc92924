#include "xls/draw/RangePainter.h"

#include <QRunnable>
#include <QSemaphore>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

#include "xls/draw/BorderLines.h"
#include "xls/draw/BundledFonts.h"
#include "xls/draw/FillPatterns.h"

namespace xls::draw {

namespace {

constexpr int kLastRow = 65535;
constexpr int kLastCol = 255;
const QColor kGridline(212, 212, 212);
// The strip that ends a cut picture: one standard row (15 points, 20 pixels at 96 DPI) of dark
// text on pale yellow under a grey line, so that it never passes for a cell of the sheet.
constexpr double kNoticeHeight = 20;
const QColor kNoticeFill(255, 246, 204);
const QColor kNoticeLine(160, 160, 160);
const QColor kNoticeText(51, 51, 51);
// A band of the picture (PictureOptions::bandBytes) has at least this many pixel rows.
constexpr int kMinBandRows = 8;
// Threads at most when the options leave it to the machine (the calling one included), and the
// fewest pieces of work (bands, pieces of values to plan) worth a thread.
constexpr int kMaxThreads = 4;
constexpr int kMinPiecesEach = 4;
// Values are planned in pieces of whole rows of about this many values.
constexpr size_t kPlanPiece = 128;
// How far a cell's painting reaches beyond its own rows: its top border is drawn on the row
// above, and thick and double borders are up to three pixels wide.
constexpr int kCellReach = 4;

bool isLatin1(const QString& text) {
    for (const QChar ch : text)
        if (ch.unicode() > 0xff) return false;
    return true;
}

xls::CellRange normalized(xls::CellRange range) {
    if (range.firstRow > range.lastRow) std::swap(range.firstRow, range.lastRow);
    if (range.firstCol > range.lastCol) std::swap(range.firstCol, range.lastCol);
    range.firstRow = std::clamp(range.firstRow, 0, kLastRow);
    range.lastRow = std::clamp(range.lastRow, 0, kLastRow);
    range.firstCol = std::clamp(range.firstCol, 0, kLastCol);
    range.lastCol = std::clamp(range.lastCol, 0, kLastCol);
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
      cellText_(styles),
      layout_(sheet, range_, fonts_.maxDigitWidth(), options.dpi) {}

int RangePainter::px(double logicalPixelsAt96) const {
    return static_cast<int>(std::lround(logicalPixelsAt96 * options_.dpi / 96.0));
}

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
    columns_ = lastCol_ - range_.firstCol + 1;
    readCells();
    readMerges();
    planTexts();
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
        paintCutNotice(painter, QRect(0, shape.stripTop, image.width(),
                                      image.height() - shape.stripTop));
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
    shareOut(helpersFor(bandCount), [&](size_t) { paintSome(); });
}

int RangePainter::helpersFor(int pieces) const {
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    const int wanted = options_.threads > 0 ? options_.threads : std::min(cores, kMaxThreads);
    const int poolThreads = QThreadPool::globalInstance()->maxThreadCount();
    return std::clamp(std::min(wanted - 1, poolThreads), 0,
                      std::max(0, pieces / kMinPiecesEach - 1));
}

// Helpers come from Qt's shared thread pool, whose threads keep their fonts' glyphs between
// pictures; the calling thread works too (as `who` 0). A helper the pool has not started by the
// time the calling thread is done is taken back, so the work must be shared out dynamically.
void RangePainter::shareOut(int helpers, const std::function<void(size_t who)>& work) {
    QThreadPool* pool = QThreadPool::globalInstance();
    std::vector<std::exception_ptr> failures(static_cast<size_t>(helpers) + 1);
    auto workCaught = [&](size_t who) {
        try {
            work(who);
        } catch (...) {
            failures[who] = std::current_exception();
        }
    };
    QSemaphore finished;
    std::vector<std::unique_ptr<QRunnable>> tasks;
    for (int i = 0; i < helpers; ++i) {
        tasks.emplace_back(QRunnable::create([&, i] {
            workCaught(static_cast<size_t>(i) + 1);
            finished.release();
        }));
        tasks.back()->setAutoDelete(false);
        pool->start(tasks.back().get());
    }
    workCaught(0);
    int running = 0;
    for (const std::unique_ptr<QRunnable>& task : tasks)
        if (!pool->tryTake(task.get())) ++running;
    finished.acquire(running);
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
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
    for (const xls::CellRange& merged : merges_)
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

void RangePainter::readCells() {
    const int rows = lastRow_ - range_.firstRow + 1;
    slots_.assign(static_cast<size_t>(rows) * columns_, Slot{});
    std::vector<xls::ColumnFormat> columnFormats;
    for (int col = range_.firstCol; col <= lastCol_; ++col)
        columnFormats.push_back(sheet_.column(col));
    for (int row = range_.firstRow; row <= lastRow_; ++row) {
        if (layout_.rowHeight(row) == 0) continue;
        const xls::RowFormat rowFormat = sheet_.row(row);
        for (int col = range_.firstCol; col <= lastCol_; ++col) {
            if (layout_.colWidth(col) == 0) continue;
            xls::Cell cell = sheet_.cell(row, col);
            Slot& s = slot(row, col);
            if (cell.isEmpty())
                s.xf = rowFormat.hasXf ? rowFormat.xf : columnFormats[col - range_.firstCol].xf;
            else
                s.xf = cell.xf;
            s.filled = styles_.xf(s.xf).fillPattern != 0;
            const bool blank =
                cell.kind == xls::CellKind::Empty || cell.kind == xls::CellKind::Blank ||
                (cell.kind == xls::CellKind::Formula && cell.cachedKind == xls::CellKind::Empty);
            if (!blank) {
                s.hasValue = true;
                texts_.push_back({row, col, std::move(cell)});
            }
        }
    }
}

void RangePainter::readMerges() {
    for (const xls::CellRange& merged : sheet_.mergedRanges()) {
        xls::CellRange part{std::max(merged.firstRow, range_.firstRow),
                            std::max(merged.firstCol, range_.firstCol),
                            std::min(merged.lastRow, lastRow_), std::min(merged.lastCol, lastCol_)};
        if (part.firstRow > part.lastRow || part.firstCol > part.lastCol) continue;
        if (part.firstRow == part.lastRow && part.firstCol == part.lastCol) continue;
        const int index = static_cast<int>(merges_.size());
        merges_.push_back(part);
        const bool filled = slot(part.firstRow, part.firstCol).filled;
        for (int row = part.firstRow; row <= part.lastRow; ++row) {
            for (int col = part.firstCol; col <= part.lastCol; ++col) {
                Slot& s = slot(row, col);
                s.merge = index;
                s.filled = filled;
            }
        }
    }
    if (merges_.empty()) return;
    // Only the top left cell of a merged area shows a value.
    texts_.erase(std::remove_if(texts_.begin(), texts_.end(),
                                [this](const TextJob& job) {
                                    return slot(job.row, job.col).merge >= 0 &&
                                           !isMergeOrigin(job.row, job.col);
                                }),
                 texts_.end());
}

bool RangePainter::isMergeOrigin(int row, int col) const {
    const int index = slots_[(row - range_.firstRow) * columns_ + (col - range_.firstCol)].merge;
    return index >= 0 && merges_[index].firstRow == row && merges_[index].firstCol == col;
}

bool RangePainter::mergeHidesLeftEdge(int row, int col) const {
    const int index = slots_[(row - range_.firstRow) * columns_ + (col - range_.firstCol)].merge;
    return index >= 0 && col > merges_[index].firstCol;
}

bool RangePainter::mergeHidesTopEdge(int row, int col) const {
    const int index = slots_[(row - range_.firstRow) * columns_ + (col - range_.firstCol)].merge;
    return index >= 0 && row > merges_[index].firstRow;
}

bool RangePainter::mergeGoesOnRight(int row, int col) const {
    if (col >= lastCol_) return false;
    const size_t at = (row - range_.firstRow) * columns_ + (col - range_.firstCol);
    return slots_[at].merge >= 0 && slots_[at + 1].merge == slots_[at].merge;
}

bool RangePainter::mergeGoesOnBelow(int row, int col) const {
    if (row >= lastRow_) return false;
    const size_t at = (row - range_.firstRow) * columns_ + (col - range_.firstCol);
    return slots_[at].merge >= 0 && slots_[at + columns_].merge == slots_[at].merge;
}

QRect RangePainter::cellRect(int row, int col) const {
    int lastRow = row, lastCol = col;
    const int index = slots_[(row - range_.firstRow) * columns_ + (col - range_.firstCol)].merge;
    if (index >= 0 && isMergeOrigin(row, col)) {
        lastRow = merges_[index].lastRow;
        lastCol = merges_[index].lastCol;
    }
    const int left = layout_.colLeft(col), top = layout_.rowTop(row);
    return QRect(left, top, layout_.colLeft(lastCol) + layout_.colWidth(lastCol) - left,
                 layout_.rowTop(lastRow) + layout_.rowHeight(lastRow) - top);
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
            const Slot& s = slot(row, col);
            if (!s.filled || !isVisible(row, col)) continue;
            if (s.merge >= 0 && !isMergeOrigin(row, col)) continue;
            canvas.painter.fillRect(cellRect(row, col), brushFor(canvas, styles_.xf(s.xf)));
        }
    }
}

// Excel draws the grid on the last pixel column and row of every cell; a filled cell, the inside
// of a merged area and text running on into a neighbour hide it.
void RangePainter::paintGridlines(QPainter& painter, RowSpan rows) {
    forEachShownCell(rows, [&](int row, int col, const QRect& box) {
        const Slot& s = slot(row, col);
        if (s.filled) return;
        const bool hideRight = s.textRunsRight || (col < lastCol_ && slot(row, col + 1).filled) ||
                               mergeGoesOnRight(row, col);
        if (!hideRight) painter.fillRect(box.right(), box.top(), 1, box.height(), kGridline);
        const bool hideBottom =
            (row < lastRow_ && slot(row + 1, col).filled) || mergeGoesOnBelow(row, col);
        if (!hideBottom) painter.fillRect(box.left(), box.bottom(), box.width(), 1, kGridline);
    });
}

// A value's plan looks only along its own row (text runs on into its row's neighbours), so the
// values are planned in pieces of whole rows, shared out among threads that each measure with
// their own fonts and number formats; the pieces are joined in order.
void RangePainter::planTexts() {
    std::vector<size_t> starts{0};
    for (size_t i = kPlanPiece; i < texts_.size(); ++i)
        if (i - starts.back() >= kPlanPiece && texts_[i].row != texts_[i - 1].row)
            starts.push_back(i);
    starts.push_back(texts_.size());
    const size_t pieceCount = starts.size() - 1;
    std::vector<std::vector<TextPlan>> pieces(pieceCount);
    std::atomic<size_t> next{0};
    shareOut(helpersFor(static_cast<int>(pieceCount)), [&](size_t who) {
        std::optional<FontCache> ownFonts;
        std::optional<CellText> ownCellText;
        if (who != 0) {
            ownFonts.emplace(styles_, options_.dpi);
            ownCellText.emplace(styles_);
        }
        FontCache& fonts = ownFonts ? *ownFonts : fonts_;
        CellText& cellText = ownCellText ? *ownCellText : cellText_;
        for (size_t piece = next++; piece < pieceCount; piece = next++) {
            for (size_t i = starts[piece]; i < starts[piece + 1]; ++i) {
                if (!isVisible(texts_[i].row, texts_[i].col)) continue;
                std::optional<TextPlan> plan = planText(texts_[i], fonts, cellText);
                if (!plan) continue;
                setReach(*plan, fonts.entry(plan->fontIndex));
                pieces[piece].push_back(std::move(*plan));
            }
        }
    });
    plans_.clear();
    plans_.reserve(texts_.size());
    for (std::vector<TextPlan>& piece : pieces)
        for (TextPlan& plan : piece) plans_.push_back(std::move(plan));
}

// The pixel rows a value's drawing may reach: its clip, or unclipped, its font's glyph box around
// the baseline, underline and strike-out included; text the font may not hold (beyond Latin-1,
// drawn by another font) well within twice the line height.
void RangePainter::setReach(TextPlan& plan, const FontCache::Entry& font) {
    if (plan.needsClip) {
        plan.top = plan.clip.top();
        plan.bottom = plan.clip.bottom();
        return;
    }
    double above = font.inkAbove, below = font.inkBelow;
    const bool latin1 = std::all_of(plan.runs.begin(), plan.runs.end(),
                                    [](const TextRun& run) { return isLatin1(run.text); });
    if (above <= 0 || below <= 0 || !latin1)
        above = below = 2.0 * (font.ascent + font.descent) + 2.0;
    plan.top = static_cast<int>(std::floor(plan.baseline - above));
    plan.bottom = static_cast<int>(std::ceil(plan.baseline + below));
}

std::optional<RangePainter::TextPlan> RangePainter::planText(const TextJob& job, FontCache& fonts,
                                                             CellText& cellText) {
    const Slot& s = slot(job.row, job.col);
    const xls::XfStyle& xf = styles_.xf(s.xf);
    std::optional<CellContent> content = cellText.content(job.cell, xf);
    if (!content) return std::nullopt;

    TextPlan plan;
    plan.fontIndex = xf.fontIndex;
    const FontCache::Entry& font = fonts.entry(xf.fontIndex);
    const xls::FontStyle& fontStyle = styles_.font(xf.fontIndex);
    plan.color = toQColor(content->value.colorIndex
                              ? styles_.color(static_cast<uint16_t>(*content->value.colorIndex))
                              : styles_.color(fontStyle.colorIndex));

    QRect box = cellRect(job.row, job.col);
    if (xf.hAlign == xls::HAlign::CenterAcross && s.merge < 0) box = centerAcrossBox(job, box);
    plan.clip = box;
    const int margin = px(2);
    const double innerLeft = box.left() + margin;
    const double innerRight = box.left() + box.width() - 1 - margin;
    // An indent level is three blanks of the default font.
    const double indent = xf.indent * 3.0 * fonts.entry(0).width(QStringLiteral(" "));

    xls::HAlign align = xf.hAlign;
    if (align == xls::HAlign::General) {
        align = content->kind == CellContent::Kind::Number ? xls::HAlign::Right
                : content->kind == CellContent::Kind::Text ? xls::HAlign::Left
                                                           : xls::HAlign::Center;
    }
    const bool wrap =
        (xf.wrap || align == xls::HAlign::Justify || align == xls::HAlign::Distributed) &&
        content->kind == CellContent::Kind::Text;

    // Vertical place of a single line.
    const double lineHeight = font.ascent + font.descent;
    switch (xf.vAlign) {
        case xls::VAlign::Top:
            plan.baseline = box.top() + px(1) + font.ascent;
            break;
        case xls::VAlign::Center:
            plan.baseline = box.top() + (box.height() - 1 - lineHeight) / 2.0 + font.ascent;
            break;
        default:
            plan.baseline = box.top() + box.height() - 1 - px(1) - font.descent;
            break;
    }
    plan.baseline += font.baselineShift;

    if (xf.rotation != 0 && !wrap) {
        const QRectF inner(innerLeft, box.top() + px(1), innerRight - innerLeft,
                           box.height() - 1 - 2 * px(1));
        planRotated(plan, QString::fromStdString(content->value.plain()), font, xf.rotation, align,
                    xf.vAlign, inner);
        plan.needsClip = true;
        return plan;
    }
    if (wrap) {
        plan.wrapped = true;
        plan.wrapText = QString::fromStdString(content->value.plain());
        plan.wrapRect = QRectF(innerLeft, box.top() + px(1), innerRight - innerLeft,
                               box.height() - 1 - 2 * px(1));
        int flags = Qt::TextWordWrap;
        flags |= align == xls::HAlign::Right    ? Qt::AlignRight
                 : align == xls::HAlign::Center ? Qt::AlignHCenter
                                                : Qt::AlignLeft;
        flags |= xf.vAlign == xls::VAlign::Top      ? Qt::AlignTop
                 : xf.vAlign == xls::VAlign::Center ? Qt::AlignVCenter
                                                    : Qt::AlignBottom;
        plan.wrapFlags = flags;
        plan.needsClip = true;
        return plan;
    }

    const double left = innerLeft + (align == xls::HAlign::Left ? indent : 0.0);
    const double right = innerRight - (align == xls::HAlign::Right ? indent : 0.0);
    placeRuns(plan, *content, font, align, left, right);
    if (plan.runs.empty()) return std::nullopt;

    const double textLeft = plan.runs.front().x;
    const double textRight = plan.runs.back().x + font.width(plan.runs.back().text);
    const bool overflows = textLeft < box.left() || textRight > box.left() + box.width() - 1;
    if (overflows && content->kind != CellContent::Kind::Number && s.merge < 0 &&
        align != xls::HAlign::Fill)
        runOn(plan, job.row, job.col, textLeft, textRight);
    plan.needsClip = overflows || lineHeight > box.height();
    return plan;
}

namespace {

double piecesWidth(const std::vector<xls::draw::FormatPiece>& pieces,
                   const FontCache::Entry& font) {
    double width = 0;
    for (const auto& piece : pieces) width += font.width(QString::fromStdString(piece.text));
    return width;
}

}  // namespace

// Lays the formatted pieces out between `x` and `right`: a fill character repeated between the
// left and right pieces, the text repeated across the cell for "fill" alignment, otherwise one
// block placed by the alignment. A number that does not fit shows "#" across the cell.
void RangePainter::placeRuns(TextPlan& plan, const CellContent& content,
                             const FontCache::Entry& font, xls::HAlign align, double x,
                             double right) {
    const auto& value = content.value;
    const double available = right - x;
    const double leftWidth = piecesWidth(value.left, font);
    const double rightWidth = piecesWidth(value.right, font);
    const double total = leftWidth + rightWidth;

    auto addPieces = [&](const std::vector<xls::draw::FormatPiece>& pieces, double at) {
        for (const auto& piece : pieces) {
            const QString text = QString::fromStdString(piece.text);
            if (piece.kind == xls::draw::FormatPiece::Kind::Text && !text.isEmpty())
                plan.runs.push_back({at, text});
            at += font.width(text);
        }
        return at;
    };
    auto startFor = [&](double width) {
        switch (align) {
            case xls::HAlign::Right:
                return right - width;
            case xls::HAlign::Center:
            case xls::HAlign::CenterAcross:
                return x + (available - width) / 2.0;
            default:
                return x;
        }
    };

    if (content.kind == CellContent::Kind::Number && total > available + 0.01) {
        if (content.general) {
            for (const std::string& form : CellText::generalFallbacks(content.number)) {
                const QString text = QString::fromStdString(form);
                const double width = font.width(text);
                if (width <= available + 0.01) {
                    plan.runs.push_back({startFor(width), text});
                    return;
                }
            }
        }
        const double hashWidth = font.width(QStringLiteral("#"));
        const int count = std::max(1, static_cast<int>(available / hashWidth));
        const QString hashes(count, QLatin1Char('#'));
        plan.runs.push_back({startFor(count * hashWidth), hashes});
        return;
    }
    if (value.fill) {
        const QString fillText = QString::fromStdString(*value.fill);
        const double fillWidth = font.width(fillText);
        const double at = addPieces(value.left, x);
        if (fillWidth > 0 && !fillText.trimmed().isEmpty()) {
            const int count = static_cast<int>((available - total) / fillWidth);
            if (count > 0) plan.runs.push_back({at, fillText.repeated(count)});
        }
        addPieces(value.right, right - rightWidth);
        return;
    }
    if (align == xls::HAlign::Fill && leftWidth > 0) {
        const int count = std::max(1, static_cast<int>(available / leftWidth));
        for (int i = 0; i < count; ++i) addPieces(value.left, x + i * leftWidth);
        return;
    }
    addPieces(value.left, startFor(leftWidth));
}

// Turned or stacked text: its bounding box placed in the cell by the alignment.
void RangePainter::planRotated(TextPlan& plan, const QString& text, const FontCache::Entry& font,
                               uint8_t rotation, xls::HAlign align, xls::VAlign valign,
                               const QRectF& inner) {
    RotatedText turned;
    turned.text = text;
    turned.stacked = rotation == 255;
    turned.degrees = RotatedText::degreesFor(rotation);
    turned.width = font.width(text);
    turned.lineHeight = font.ascent + font.descent;
    turned.ascent = font.ascent;
    QSizeF size;
    if (turned.stacked) {
        double widest = 0;
        for (const QChar ch : text) widest = std::max(widest, font.width(QString(ch)));
        size = QSizeF(widest, turned.lineHeight * text.size());
    } else {
        size = RotatedText::turnedSize(turned.width, turned.lineHeight, turned.degrees);
    }
    double x = inner.left() + (inner.width() - size.width()) / 2.0;
    if (align == xls::HAlign::Left) x = inner.left();
    if (align == xls::HAlign::Right) x = inner.right() - size.width();
    double y = inner.bottom() - size.height();
    if (valign == xls::VAlign::Top) y = inner.top();
    if (valign == xls::VAlign::Center) y = inner.top() + (inner.height() - size.height()) / 2.0;
    turned.bounds = QRectF(QPointF(x, y), size);
    plan.rotated = std::move(turned);
}

// "Centre across selection": the text is centred over the cell and the empty cells to its right
// that have the same alignment; the grid between them hides.
QRect RangePainter::centerAcrossBox(const TextJob& job, const QRect& box) {
    int right = box.left() + box.width();
    for (int col = job.col + 1; col <= lastCol_; ++col) {
        const Slot& next = slot(job.row, col);
        if (next.hasValue || next.merge >= 0 ||
            styles_.xf(next.xf).hAlign != xls::HAlign::CenterAcross)
            break;
        slot(job.row, col - 1).textRunsRight = true;
        right = layout_.colLeft(col) + layout_.colWidth(col);
    }
    return QRect(box.left(), box.top(), right - box.left(), box.height());
}

// Text wider than its cell runs on into empty neighbours: to the right for left-aligned text,
// to the left for right-aligned text, both ways for centred text. The grid between them hides.
void RangePainter::runOn(TextPlan& plan, int row, int col, double left, double right) {
    int clipLeft = plan.clip.left();
    int clipRight = plan.clip.left() + plan.clip.width();  // exclusive
    for (int c = col + 1; c <= lastCol_ && right > clipRight - 1; ++c) {
        const Slot& next = slot(row, c);
        if (next.hasValue || next.merge >= 0) break;
        slot(row, c - 1).textRunsRight = true;
        clipRight = layout_.colLeft(c) + layout_.colWidth(c);
    }
    for (int c = col - 1; c >= range_.firstCol && left < clipLeft; --c) {
        const Slot& previous = slot(row, c);
        if (previous.hasValue || previous.merge >= 0) break;
        slot(row, c).textRunsRight = true;
        clipLeft = layout_.colLeft(c);
    }
    plan.clip = QRect(clipLeft, plan.clip.top(), clipRight - clipLeft, plan.clip.height());
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
        const xls::XfStyle& xf = styles_.xf(slot(row, col).xf);
        if (!xf.left.style && !xf.right.style && !xf.top.style && !xf.bottom.style) return;
        const int x0 = std::max(0, box.left() - 1), x1 = box.right();
        const int y0 = std::max(0, box.top() - 1), y1 = box.bottom();
        if (xf.top.style && !mergeHidesTopEdge(row, col))
            drawBorderLine(painter, xf.top.style, toQColor(styles_.color(xf.top.colorIndex)), false,
                           y0, x0, x1);
        if (xf.bottom.style && !mergeGoesOnBelow(row, col))
            drawBorderLine(painter, xf.bottom.style, toQColor(styles_.color(xf.bottom.colorIndex)),
                           false, y1, x0, x1);
        if (xf.left.style && !mergeHidesLeftEdge(row, col))
            drawBorderLine(painter, xf.left.style, toQColor(styles_.color(xf.left.colorIndex)),
                           true, x0, y0, y1);
        if (xf.right.style && !mergeGoesOnRight(row, col))
            drawBorderLine(painter, xf.right.style, toQColor(styles_.color(xf.right.colorIndex)),
                           true, x1, y0, y1);
    });
}

}  // namespace xls::draw
