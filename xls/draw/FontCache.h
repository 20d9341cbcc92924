#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QString>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "xls/Styles.h"

namespace xls::draw {

// The workbook's FONT records as screen fonts at one DPI, made on first use and kept. Every family
// is drawn with a bundled font (BundledFonts.h: Arial by Liberation Sans, Constantia by Caladea,
// an unknown serif by Liberation Serif, ...), never with whatever the machine has installed.
class FontCache {
  public:
    FontCache(const xls::Styles& styles, double dpi);
    ~FontCache();

    struct Entry {
        Entry(const QFont& f);
        QFont font;
        QFontMetricsF metrics;
        double ascent;
        double descent;
        double baselineShift = 0;  // raises superscript (negative) and lowers subscript text
        // How far the font's glyphs reach above and below the baseline at most, in pixels (the
        // font's own bounding box, two pixels more for hinting); 0 when the font does not say.
        double inkAbove = 0;
        double inkBelow = 0;

        // The width of a text. Latin-1 text is summed from cached character advances (fonts
        // are used without kerning, so that is what is drawn); other text is measured whole.
        double width(const QString& text) const;

      private:
        mutable std::array<double, 256> advances_;
    };
    const Entry& entry(size_t fontIndex);

    // The default font's (font 0) widest digit in whole pixels: the unit of column widths.
    int maxDigitWidth();

    // A QFont for a FONT record at `dpi`, pixel-sized as a screen shows it (superscript and
    // subscript at two thirds of the size).
    static QFont makeFont(const xls::FontStyle& style, double dpi);
    // The style hint for a family name: serif, sans serif or monospace.
    static QFont::StyleHint styleHintFor(const std::string& family);

  private:
    const xls::Styles& styles_;
    double dpi_;
    std::vector<std::unique_ptr<Entry>> entries_;
    int maxDigitWidth_ = 0;
};

}  // namespace xls::draw
