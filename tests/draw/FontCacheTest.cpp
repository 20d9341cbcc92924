// Screen fonts for FONT records: pixel sizes, styles, and the bundled fonts that draw them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QRawFont>
#include <QResource>
#include <string>
#include <vector>

#include "xls/draw/BundledFonts.h"
#include "xls/draw/FontCache.h"

using xls::draw::FontCache;

namespace {

xls::FontStyle fontStyle(const std::string& name, int twips = 200, int weight = 400) {
    xls::FontStyle style;
    style.name = name;
    style.heightTwips = static_cast<uint16_t>(twips);
    style.weight = static_cast<uint16_t>(weight);
    return style;
}

// A face's 'head' table as hex: its revision and whole-file checksum tell one file from another.
std::string headTable(const QRawFont& font) {
    return font.fontTable("head").left(12).toHex().toStdString();
}

QRawFont bundledFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QRawFont();
    return QRawFont(file.readAll(), 15);
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

// Every family draws with a bundled font file, whatever the machine has installed: the mapped
// families with their metric twins, the others with the bundled font of their kind. The face
// actually used is compared with the bundled file through its 'head' table (which carries the
// file's own checksum), so a same-named font of the machine's cannot pass for it.
TEST(FontCacheTest, MissingFamiliesFallBackToTheSameKind) {
    struct Case {
        std::string family;
        QFont::StyleHint hint;
        QString bundled;
        QString file;  // below ":/fonts/", the regular face
    };
    const Case cases[] = {
        {"Arial", QFont::SansSerif, "Liberation Sans", "LiberationSans"},
        {"Times New Roman", QFont::Serif, "Liberation Serif", "LiberationSerif"},
        {"Courier New", QFont::Monospace, "Liberation Mono", "LiberationMono"},
        {"Consolas", QFont::Monospace, "Liberation Mono", "LiberationMono"},
        {"Calibri", QFont::SansSerif, "Carlito", "Carlito"},
        {"Cambria", QFont::Serif, "Caladea", "Caladea"},
        {"Constantia", QFont::Serif, "Caladea", "Caladea"},
        {"CONSTANTIA", QFont::Serif, "Caladea", "Caladea"},
        {"Georgia", QFont::Serif, "Liberation Serif", "LiberationSerif"},
        {"Book Antiqua", QFont::Serif, "Liberation Serif", "LiberationSerif"},
        {"Microsoft Sans Serif", QFont::SansSerif, "Liberation Sans", "LiberationSans"},
        {"Tahoma", QFont::SansSerif, "Liberation Sans", "LiberationSans"},
        {"Lucida Console", QFont::Monospace, "Liberation Mono", "LiberationMono"},
        {"Noto Sans Mono", QFont::Monospace, "Liberation Mono", "LiberationMono"},
        {"DejaVu Serif", QFont::Serif, "Liberation Serif", "LiberationSerif"},
        {"", QFont::SansSerif, "Liberation Sans", "LiberationSans"},
    };
    struct Face {
        int weight;
        bool italic;
        const char* suffix;
    };
    const Face faces[] = {{400, false, "-Regular"},
                          {700, false, "-Bold"},
                          {400, true, "-Italic"},
                          {700, true, "-BoldItalic"}};
    for (const Case& c : cases) {
        EXPECT_EQ(FontCache::styleHintFor(c.family), c.hint) << c.family;
        for (const Face& face : faces) {
            xls::FontStyle style = fontStyle(c.family, 220, face.weight);
            style.italic = face.italic;
            const QFont font = FontCache::makeFont(style, 96);
            EXPECT_EQ(QFontInfo(font).family(), c.bundled)
                << c.family << face.suffix << " drawn as "
                << QFontInfo(font).family().toStdString();
            const QString file = ":/fonts/" + c.file + face.suffix + ".ttf";
            EXPECT_EQ(headTable(QRawFont::fromFont(font)), headTable(bundledFile(file)))
                << c.family << face.suffix << " is not drawn with " << file.toStdString();
        }
    }
}

// Pictures do not follow the machine's font settings (sub-pixel colours, hinting).
TEST(FontCacheTest, RenderingIsFixed) {
    const QFont font = FontCache::makeFont(fontStyle("Constantia"), 96);
    EXPECT_TRUE(font.styleStrategy() & QFont::NoSubpixelAntialias);
    EXPECT_TRUE(font.styleStrategy() & QFont::PreferAntialias);
    EXPECT_EQ(font.hintingPreference(), QFont::PreferVerticalHinting);
    EXPECT_FALSE(font.kerning());
}

// The bundled fonts are stored uncompressed in the program and registered from there, so none is
// copied into memory: every file is a plain resource, and every one registers.
TEST(FontCacheTest, BundledFontsAreRegisteredFromThePlainResources) {
    const QStringList files = QDir(":/fonts").entryList({"*.ttf"}, QDir::Files);
    ASSERT_EQ(files.size(), 20);
    for (const QString& file : files) {
        const QResource resource(":/fonts/" + file);
        ASSERT_TRUE(resource.isValid()) << file.toStdString();
        EXPECT_EQ(resource.compressionAlgorithm(), QResource::NoCompression) << file.toStdString();
    }
    EXPECT_EQ(xls::draw::registerBundledFonts(), 20);
}
