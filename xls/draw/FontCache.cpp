#include "xls/draw/FontCache.h"

#include <QRawFont>
#include <QtEndian>
#include <algorithm>
#include <cmath>

#include "xls/draw/BundledFonts.h"

namespace xls::draw {

FontCache::FontCache(const xls::Styles& styles, double dpi) : styles_(styles), dpi_(dpi) {
    registerBundledFonts();
}

FontCache::~FontCache() = default;

QFont::StyleHint FontCache::styleHintFor(const std::string& family) {
    switch (fontKind(QString::fromStdString(family))) {
        case FontKind::Serif:
            return QFont::Serif;
        case FontKind::Mono:
            return QFont::Monospace;
        case FontKind::Sans:
            break;
    }
    return QFont::SansSerif;
}

QFont FontCache::makeFont(const xls::FontStyle& style, double dpi) {
    QFont font = bundledFont(QString::fromStdString(style.name));
    // Screens draw fonts at whole pixel sizes: 11 points at 96 DPI is a 15-pixel font.
    const double points = style.heightTwips / 20.0 * (style.script != 0 ? 2.0 / 3.0 : 1.0);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(points * dpi / 72.0))));
    font.setWeight(static_cast<QFont::Weight>(std::clamp<int>(style.weight, 100, 900)));
    font.setItalic(style.italic);
    font.setStrikeOut(style.strikeout);
    font.setUnderline(style.underline != xls::Underline::None);
    font.setKerning(false);
    return font;
}

const FontCache::Entry& FontCache::entry(size_t fontIndex) {
    if (fontIndex >= entries_.size()) entries_.resize(fontIndex + 1);
    std::unique_ptr<Entry>& slot = entries_[fontIndex];
    if (!slot) {
        QFont font = makeFont(styles_.font(fontIndex), dpi_);
        slot = std::make_unique<Entry>(font);
        const xls::FontStyle& style = styles_.font(fontIndex);
        const double fullPixels = style.heightTwips / 20.0 * dpi_ / 72.0;
        if (style.script == 1) slot->baselineShift = -std::round(fullPixels / 3.0);
        if (style.script == 2) slot->baselineShift = std::round(fullPixels / 6.0);
    }
    return *slot;
}

FontCache::Entry::Entry(const QFont& f)
    : font(f), metrics(f), ascent(metrics.ascent()), descent(metrics.descent()) {
    advances_.fill(-1.0);
    // The "head" table's yMax and yMin bound every glyph of the font, in font units; the
    // underline lies below the baseline too.
    const QRawFont raw = QRawFont::fromFont(f);
    const QByteArray head = raw.isValid() ? raw.fontTable("head") : QByteArray();
    if (head.size() >= 44) {
        const auto* bytes = reinterpret_cast<const uchar*>(head.constData());
        const double unitsPerEm = qFromBigEndian<quint16>(bytes + 18);
        const double yMin = qFromBigEndian<qint16>(bytes + 38);
        const double yMax = qFromBigEndian<qint16>(bytes + 42);
        if (unitsPerEm > 0) {
            const double scale = raw.pixelSize() / unitsPerEm;
            inkAbove = std::max(ascent, yMax * scale) + 2;
            const double underline = metrics.underlinePos() + metrics.lineWidth();
            inkBelow = std::max({descent, -yMin * scale, underline}) + 2;
        }
    }
}

double FontCache::Entry::width(const QString& text) const {
    double total = 0;
    for (const QChar ch : text) {
        const char16_t code = ch.unicode();
        if (code >= advances_.size()) return metrics.horizontalAdvance(text);
        double& advance = advances_[code];
        if (advance < 0) advance = metrics.horizontalAdvance(ch);
        total += advance;
    }
    return total;
}

int FontCache::maxDigitWidth() {
    if (maxDigitWidth_ == 0) {
        const QFontMetricsF& metrics = entry(0).metrics;
        double widest = 0;
        for (char digit = '0'; digit <= '9'; ++digit)
            widest = std::max(widest, metrics.horizontalAdvance(QChar(digit)));
        maxDigitWidth_ = std::max(1, static_cast<int>(std::lround(widest)));
    }
    return maxDigitWidth_;
}

}  // namespace xls::draw
