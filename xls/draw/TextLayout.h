#pragma once

#include <QColor>
#include <QRect>
#include <QRectF>
#include <QString>
#include <cmath>
#include <cstddef>
#include <optional>
#include <vector>

#include "xls/Styles.h"
#include "xls/draw/CellGrid.h"
#include "xls/draw/CellText.h"
#include "xls/draw/FontCache.h"
#include "xls/draw/MergedAreas.h"
#include "xls/draw/RotatedText.h"
#include "xls/draw/SheetLayout.h"

namespace xls::draw {

// A length given in pixels at 96 DPI, as whole pixels at `dpi`.
inline int pixelsAt(double dpi, double pixelsAt96) {
    return static_cast<int>(std::lround(pixelsAt96 * dpi / 96.0));
}

// A piece of text on a value's baseline, from `x`.
struct TextRun {
    double x;
    QString text;
};

// Where and how one value is drawn: runs of text on one baseline, a wrapped block, or turned or
// stacked text; in the colour of its font or its number format.
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

// Lays out the values of a cell grid as a spreadsheet application shows them: aligned and
// indented, run on into empty neighbours, "#" for a number too wide, wrapped, turned. Laying out
// a value marks the grid's cells its text runs across (GridCell::textRunsRight), in its own row.
class TextLayout {
  public:
    TextLayout(const xls::Styles& styles, const SheetLayout& layout, CellGrid& grid,
               const MergedAreas& merges, int lastCol, double dpi)
        : styles_(styles),
          layout_(layout),
          grid_(grid),
          merges_(merges),
          lastCol_(lastCol),
          dpi_(dpi) {}

    // The plans of all the grid's values, in the grid's order; values that show nothing have
    // none. `fonts` and `cellText` serve the calling thread; helper threads (up to `threads` in
    // all, 0: the machine's choice) measure with their own.
    std::vector<TextPlan> planAll(FontCache& fonts, CellText& cellText, int threads);
    // One value's plan, measured with `fonts`.
    std::optional<TextPlan> plan(const CellValue& value, FontCache& fonts, CellText& cellText);

  private:
    static void setReach(TextPlan& plan, const FontCache::Entry& font);
    void placeRuns(TextPlan& plan, const CellContent& content, const CellText& cellText,
                   const FontCache::Entry& font, xls::HAlign align, double x, double right) const;
    double baselineIn(const QRect& box, xls::VAlign valign, const FontCache::Entry& font) const;
    void runOn(TextPlan& plan, int row, int col, double left, double right);
    QRect centerAcrossBox(const CellValue& value, const QRect& box);
    static void planRotated(TextPlan& plan, const QString& text, const FontCache::Entry& font,
                            uint8_t rotation, xls::HAlign align, xls::VAlign valign,
                            const QRectF& inner);
    static void planWrapped(TextPlan& plan, const QString& text, xls::HAlign align,
                            xls::VAlign valign, const QRectF& inner);
    int px(double pixelsAt96) const { return pixelsAt(dpi_, pixelsAt96); }

    const xls::Styles& styles_;
    const SheetLayout& layout_;
    CellGrid& grid_;
    const MergedAreas& merges_;
    int lastCol_;
    double dpi_;
};

}  // namespace xls::draw
