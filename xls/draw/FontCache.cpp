#include "xls/draw/FontCache.h"

#include <QFontInfo>
#include <algorithm>
#include <cctype>
#include <cmath>

namespace xlsdraw {

namespace {

std::string lowered(const std::string& text) {
    std::string out = text;
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool containsAny(const std::string& text, std::initializer_list<const char*> words) {
    for (const char* word : words) {
        if (text.find(word) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

FontCache::FontCache(const xls::Styles& styles, double dpi) : styles_(styles), dpi_(dpi) {}

FontCache::~FontCache() = default;

QFont::StyleHint FontCache::styleHintFor(const std::string& family) {
    const std::string name = lowered(family);
    if (containsAny(name, {"courier", "consolas", "mono", "lucida console", "fixedsys"}))
        return QFont::Monospace;
    if (containsAny(name, {"times", "constantia", "cambria", "georgia", "garamond", "book antiqua",
                           "palatino", "serif", "bookman", "century", "baskerville", "bodoni",
                           "rockwell", "perpetua", "goudy"}) &&
        name.find("sans") == std::string::npos)
        return QFont::Serif;
    return QFont::SansSerif;
}

QFont FontCache::makeFont(const xls::FontStyle& style, double dpi) {
    QFont font(QString::fromStdString(style.name));
    font.setStyleHint(styleHintFor(style.name), QFont::PreferAntialias);
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

}  // namespace xlsdraw
