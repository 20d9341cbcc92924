// Screen fonts for FONT records: pixel sizes, styles, and stand-ins for missing families.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <string>
#include <vector>

#include "xls/draw/FontCache.h"

using xlsdraw::FontCache;

namespace {

xls::FontStyle fontStyle(const std::string& name, int twips = 200, int weight = 400) {
    xls::FontStyle style;
    style.name = name;
    style.heightTwips = static_cast<uint16_t>(twips);
    style.weight = static_cast<uint16_t>(weight);
    return style;
}

bool oneOf(const QString& family, const std::vector<QString>& families) {
    for (const QString& f : families)
        if (family == f) return true;
    return false;
}

}  // namespace

TEST(FontCacheTest, PixelSizesAtTheDpi) {
    struct Case {
        int twips;
        double dpi;
        int pixels;
    };
    const Case cases[] = {{220, 96, 15},  {200, 96, 13}, {220, 144, 22}, {360, 96, 24},
                          {220, 120, 18}, {20, 96, 1},   {0, 96, 1}};
    for (const Case& c : cases) {
        const QFont font = FontCache::makeFont(fontStyle("Arial", c.twips), c.dpi);
        EXPECT_EQ(font.pixelSize(), c.pixels) << c.twips << "@" << c.dpi;
    }
}

TEST(FontCacheTest, StylesCarryOver) {
    xls::FontStyle style = fontStyle("Arial", 200, 700);
    style.italic = true;
    style.strikeout = true;
    style.underline = xls::Underline::SingleAccounting;
    const QFont font = FontCache::makeFont(style, 96);
    EXPECT_TRUE(font.bold());
    EXPECT_TRUE(font.italic());
    EXPECT_TRUE(font.strikeOut());
    EXPECT_TRUE(font.underline());
    xls::FontStyle superscript = fontStyle("Arial", 220);
    superscript.script = 1;
    EXPECT_EQ(FontCache::makeFont(superscript, 96).pixelSize(), 10) << "two thirds of 15";
    const QFont plain = FontCache::makeFont(fontStyle("Arial"), 96);
    EXPECT_FALSE(plain.bold() || plain.italic() || plain.strikeOut() || plain.underline());
}

// Families this machine lacks are drawn with an installed family of the same kind.
TEST(FontCacheTest, MissingFamiliesFallBackToTheSameKind) {
    const std::vector<QString> serifs = {"DejaVu Serif", "Liberation Serif"};
    const std::vector<QString> sans = {"DejaVu Sans", "Liberation Sans"};
    const std::vector<QString> monos = {"DejaVu Sans Mono", "Liberation Mono"};
    struct Case {
        std::string family;
        QFont::StyleHint hint;
        const std::vector<QString>* installed;
    };
    const Case cases[] = {
        {"Constantia", QFont::Serif, &serifs},
        {"Cambria", QFont::Serif, &serifs},
        {"Times New Roman", QFont::Serif, &serifs},
        {"Georgia", QFont::Serif, &serifs},
        {"Arial", QFont::SansSerif, &sans},
        {"Calibri", QFont::SansSerif, &sans},
        {"Microsoft Sans Serif", QFont::SansSerif, &sans},
        {"Courier New", QFont::Monospace, &monos},
        {"Consolas", QFont::Monospace, &monos},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FontCache::styleHintFor(c.family), c.hint) << c.family;
        const QFontInfo info(FontCache::makeFont(fontStyle(c.family), 96));
        EXPECT_TRUE(oneOf(info.family(), *c.installed))
            << c.family << " drawn as " << info.family().toStdString();
    }
}
