#include "xls/draw/TextLayout.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "xls/draw/WorkSharing.h"

namespace xls::draw {

namespace {

// Values are planned in pieces of whole rows of about this many values.
constexpr size_t kPlanPiece = 128;

bool isLatin1(const QString& text) {
    for (const QChar ch : text)
        if (ch.unicode() > 0xff) return false;
    return true;
}

QColor toQColor(const xls::Rgb& rgb) { return QColor(rgb.r, rgb.g, rgb.b); }

double piecesWidth(const std::vector<FormatPiece>& pieces, const FontCache::Entry& font) {
    double width = 0;
    for (const auto& piece : pieces) width += font.width(QString::fromStdString(piece.text));
    return width;
}

// "General" alignment: numbers right, text left, logical values and errors centred.
xls::HAlign alignmentOf(xls::HAlign align, CellContent::Kind kind) {
    if (align != xls::HAlign::General) return align;
    return kind == CellContent::Kind::Number ? xls::HAlign::Right
           : kind == CellContent::Kind::Text ? xls::HAlign::Left
                                             : xls::HAlign::Center;
}

}  // namespace

// A value's plan looks only along its own row (text runs on into its row's neighbours), so the
// values are planned in pieces of whole rows, shared out among threads that each measure with
// their own fonts and number formats; the pieces are joined in order.
std::vector<TextPlan> TextLayout::planAll(FontCache& fonts, CellText& cellText, int threads) {
    const std::vector<CellValue>& values = grid_.values();
    std::vector<size_t> starts{0};
    for (size_t i = kPlanPiece; i < values.size(); ++i)
        if (i - starts.back() >= kPlanPiece && values[i].row != values[i - 1].row)
            starts.push_back(i);
    starts.push_back(values.size());
    const size_t pieceCount = starts.size() - 1;
    std::vector<std::vector<TextPlan>> pieces(pieceCount);
    std::atomic<size_t> next{0};
    shareOut(helpersFor(static_cast<int>(pieceCount), threads), [&](size_t who) {
        std::optional<FontCache> ownFonts;
        std::optional<CellText> ownCellText;
        if (who != 0) {
            ownFonts.emplace(styles_, dpi_);
            ownCellText.emplace(styles_, cellText.numbers());
        }
        FontCache& threadFonts = ownFonts ? *ownFonts : fonts;
        CellText& threadCellText = ownCellText ? *ownCellText : cellText;
        for (size_t piece = next++; piece < pieceCount; piece = next++) {
            for (size_t i = starts[piece]; i < starts[piece + 1]; ++i) {
                std::optional<TextPlan> planned = plan(values[i], threadFonts, threadCellText);
                if (!planned) continue;
                setReach(*planned, threadFonts.entry(planned->fontIndex));
                pieces[piece].push_back(std::move(*planned));
            }
        }
    });
    std::vector<TextPlan> plans;
    plans.reserve(values.size());
    for (std::vector<TextPlan>& piece : pieces)
        for (TextPlan& planned : piece) plans.push_back(std::move(planned));
    return plans;
}

// The pixel rows a value's drawing may reach: its clip, or unclipped, its font's glyph box around
// the baseline, underline and strike-out included; text the font may not hold (beyond Latin-1,
// drawn by another font) well within twice the line height.
void TextLayout::setReach(TextPlan& plan, const FontCache::Entry& font) {
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

// The baseline of a single line in `box`, one pixel (at 96 DPI) off its top or bottom edge.
double TextLayout::baselineIn(const QRect& box, xls::VAlign valign,
                              const FontCache::Entry& font) const {
    double baseline;
    switch (valign) {
        case xls::VAlign::Top:
            baseline = box.top() + px(1) + font.ascent;
            break;
        case xls::VAlign::Center:
            baseline =
                box.top() + (box.height() - 1 - (font.ascent + font.descent)) / 2.0 + font.ascent;
            break;
        default:
            baseline = box.top() + box.height() - 1 - px(1) - font.descent;
            break;
    }
    return baseline + font.baselineShift;
}

std::optional<TextPlan> TextLayout::plan(const CellValue& value, FontCache& fonts,
                                         CellText& cellText) {
    const GridCell& grid = grid_.at(value.row, value.col);
    const xls::XfStyle& xf = styles_.xf(grid.xf);
    std::optional<CellContent> content = cellText.content(value.cell, xf);
    if (!content) return std::nullopt;

    TextPlan plan;
    plan.fontIndex = xf.fontIndex;
    const FontCache::Entry& font = fonts.entry(xf.fontIndex);
    const uint16_t colorIndex = content->value.colorIndex
                                    ? static_cast<uint16_t>(*content->value.colorIndex)
                                    : styles_.font(xf.fontIndex).colorIndex;
    plan.color = toQColor(styles_.color(colorIndex));

    const bool merged = merges_.areaAt(value.row, value.col) >= 0;
    QRect box = layout_.rectOf(merges_.extentOf(value.row, value.col));
    if (xf.hAlign == xls::HAlign::CenterAcross && !merged) box = centerAcrossBox(value, box);
    plan.clip = box;
    const int margin = px(2);
    const double innerLeft = box.left() + margin;
    const double innerRight = box.left() + box.width() - 1 - margin;
    const QRectF inner(innerLeft, box.top() + px(1), innerRight - innerLeft,
                       box.height() - 1 - 2 * px(1));
    const xls::HAlign align = alignmentOf(xf.hAlign, content->kind);
    const bool wrap =
        (xf.wrap || align == xls::HAlign::Justify || align == xls::HAlign::Distributed) &&
        content->kind == CellContent::Kind::Text;
    plan.baseline = baselineIn(box, xf.vAlign, font);
    plan.needsClip = true;
    if (xf.rotation != 0 && !wrap) {
        planRotated(plan, QString::fromStdString(content->value.plain()), font, xf.rotation, align,
                    xf.vAlign, inner);
        return plan;
    }
    if (wrap) {
        planWrapped(plan, QString::fromStdString(content->value.plain()), align, xf.vAlign, inner);
        return plan;
    }

    // An indent level is three blanks of the default font.
    const double indent = xf.indent * 3.0 * fonts.entry(0).width(QStringLiteral(" "));
    const double left = innerLeft + (align == xls::HAlign::Left ? indent : 0.0);
    const double right = innerRight - (align == xls::HAlign::Right ? indent : 0.0);
    placeRuns(plan, *content, cellText, font, align, left, right);
    if (plan.runs.empty()) return std::nullopt;

    const double textLeft = plan.runs.front().x;
    const double textRight = plan.runs.back().x + font.width(plan.runs.back().text);
    const bool overflows = textLeft < box.left() || textRight > box.left() + box.width() - 1;
    if (overflows && content->kind != CellContent::Kind::Number && !merged &&
        align != xls::HAlign::Fill)
        runOn(plan, value.row, value.col, textLeft, textRight);
    plan.needsClip = overflows || font.ascent + font.descent > box.height();
    return plan;
}

// Lays the formatted pieces out between `x` and `right`: a fill character repeated between the
// left and right pieces, the text repeated across the cell for "fill" alignment, otherwise one
// block placed by the alignment. A number that does not fit shows "#" across the cell.
void TextLayout::placeRuns(TextPlan& plan, const CellContent& content, const CellText& cellText,
                           const FontCache::Entry& font, xls::HAlign align, double x,
                           double right) const {
    const auto& value = content.value;
    const double available = right - x;
    const double leftWidth = piecesWidth(value.left, font);
    const double rightWidth = piecesWidth(value.right, font);
    const double total = leftWidth + rightWidth;

    auto addPieces = [&](const std::vector<FormatPiece>& pieces, double at) {
        for (const auto& piece : pieces) {
            const QString text = QString::fromStdString(piece.text);
            if (piece.kind == FormatPiece::Kind::Text && !text.isEmpty())
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
            for (const std::string& form : cellText.generalFallbacks(content.number)) {
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
        plan.runs.push_back({startFor(count * hashWidth), QString(count, QLatin1Char('#'))});
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

// Wrapped text: a block in the cell's inner box, lines broken between words.
void TextLayout::planWrapped(TextPlan& plan, const QString& text, xls::HAlign align,
                             xls::VAlign valign, const QRectF& inner) {
    plan.wrapped = true;
    plan.wrapText = text;
    plan.wrapRect = inner;
    int flags = Qt::TextWordWrap;
    flags |= align == xls::HAlign::Right    ? Qt::AlignRight
             : align == xls::HAlign::Center ? Qt::AlignHCenter
                                            : Qt::AlignLeft;
    flags |= valign == xls::VAlign::Top      ? Qt::AlignTop
             : valign == xls::VAlign::Center ? Qt::AlignVCenter
                                             : Qt::AlignBottom;
    plan.wrapFlags = flags;
}

// Turned or stacked text: its bounding box placed in the cell by the alignment.
void TextLayout::planRotated(TextPlan& plan, const QString& text, const FontCache::Entry& font,
                             uint8_t rotation, xls::HAlign align, xls::VAlign valign,
                             const QRectF& inner) {
    RotatedText turned;
    turned.text = text;
    turned.stacked = rotation == RotatedText::kStacked;
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
QRect TextLayout::centerAcrossBox(const CellValue& value, const QRect& box) {
    int right = box.left() + box.width();
    for (int col = value.col + 1; col <= lastCol_; ++col) {
        const GridCell& next = grid_.at(value.row, col);
        if (next.hasValue || merges_.areaAt(value.row, col) >= 0 ||
            styles_.xf(next.xf).hAlign != xls::HAlign::CenterAcross)
            break;
        grid_.at(value.row, col - 1).textRunsRight = true;
        right = layout_.colLeft(col) + layout_.colWidth(col);
    }
    return QRect(box.left(), box.top(), right - box.left(), box.height());
}

// Text wider than its cell runs on into empty neighbours: to the right for left-aligned text,
// to the left for right-aligned text, both ways for centred text. The grid between them hides.
void TextLayout::runOn(TextPlan& plan, int row, int col, double left, double right) {
    const int firstCol = layout_.range().firstCol;
    int clipLeft = plan.clip.left();
    int clipRight = plan.clip.left() + plan.clip.width();  // exclusive
    for (int c = col + 1; c <= lastCol_ && right > clipRight - 1; ++c) {
        if (grid_.at(row, c).hasValue || merges_.areaAt(row, c) >= 0) break;
        grid_.at(row, c - 1).textRunsRight = true;
        clipRight = layout_.colLeft(c) + layout_.colWidth(c);
    }
    for (int c = col - 1; c >= firstCol && left < clipLeft; --c) {
        if (grid_.at(row, c).hasValue || merges_.areaAt(row, c) >= 0) break;
        grid_.at(row, c).textRunsRight = true;
        clipLeft = layout_.colLeft(c);
    }
    plan.clip = QRect(clipLeft, plan.clip.top(), clipRight - clipLeft, plan.clip.height());
}

}  // namespace xls::draw
