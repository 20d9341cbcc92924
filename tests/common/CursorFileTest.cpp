// The cursor reader beside the toolkit's own (its image plugin, the plain path the reader
// replaces at start-up): the same pixels and hot spot for every kind of cursor image, and a
// clear fault for damaged bytes.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>
#include <random>

#include "common/CursorFile.h"
#include "common/Failure.h"

namespace {

void put16(QByteArray& bytes, quint16 value) {
    const char le[2] = {char(value & 0xFF), char(value >> 8)};
    bytes.append(le, 2);
}
void put32(QByteArray& bytes, quint32 value) {
    put16(bytes, quint16(value & 0xFFFF));
    put16(bytes, quint16(value >> 16));
}

// A cursor file with one device-independent bitmap of `bits` bits per pixel, random colours,
// palette indices and mask, the rows padded to whole words as the format stores them.
enum class Alpha { None, Mixed, Opaque };  // of a 32-bit image

QByteArray bitmapCursor(int width, int height, int bits, Alpha alpha, quint32 seed, QPoint hot) {
    std::mt19937 random(seed);
    const int paletteSize = bits <= 8 ? 1 << bits : 0;
    const int colourRow = (width * bits + 31) / 32 * 4;
    const int maskRow = (width + 31) / 32 * 4;
    QByteArray image;
    put32(image, 40);
    put32(image, quint32(width));
    put32(image, quint32(height * 2));
    put16(image, 1);
    put16(image, quint16(bits));
    for (int i = 0; i < 6; ++i) put32(image, 0);  // uncompressed, sizes, colours used (all)
    for (int i = 0; i < paletteSize; ++i) put32(image, random() & 0xFFFFFF);
    for (int i = 0; i < colourRow * height; ++i) {
        const quint32 value = random();
        char byte = char(value);
        // 32-bit images with no alpha leave the mask to decide; with alpha, some pixels are
        // transparent. Every kind draws the same numbers, so twins share their colours.
        if (bits == 32 && i % 4 == 3)
            byte = alpha == Alpha::None     ? char(0)
                   : alpha == Alpha::Opaque ? char(0xFF)
                                            : char(value % 3 == 0 ? 0 : 0xFF);
        image.append(byte);
    }
    // The mask from a generator of its own: a twin of other bits per pixel has the same mask.
    std::mt19937 maskRandom(seed * 7919u + 1);
    for (int i = 0; i < maskRow * height; ++i) image.append(char(maskRandom()));

    QByteArray file;
    put16(file, 0);
    put16(file, 2);
    put16(file, 1);
    file.append(char(width));
    file.append(char(height));
    file.append(char(0));
    file.append(char(0));
    put16(file, quint16(hot.x()));
    put16(file, quint16(hot.y()));
    put32(file, quint32(image.size()));
    put32(file, 6 + 16);
    return file + image;
}

QByteArray pngCursor(QPoint hot) {
    QImage picture(24, 20, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgba(x * 10, y * 12, 90, (x + y) % 4 == 0 ? 0 : 255));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    QByteArray file = bitmapCursor(1, 1, 1, Alpha::None, 0, hot).left(6 + 16);
    file.replace(6 + 8, 4, QByteArray(4, 0));
    qToLittleEndian<quint32>(quint32(png.size()), file.data() + 6 + 8);
    return file + png;
}

QImage toolkitReads(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "cur");
    return reader.read().convertToFormat(QImage::Format_ARGB32);
}

// Where the toolkit's plugin departs from what Windows draws (it ignores the mask of a 24-bit
// image, and shows a 32-bit image whose alpha is 0 throughout as nothing), the mask decides: the
// expected pixels are the plugin's colours, transparent where it reads the same mask in a 1-bit
// twin of the cursor, the colours of an opaque twin where the plugin keeps none.
TEST(CursorFileTest, ReadsAsTheToolkitsCursorPluginDoes) {
    const struct {
        const char* name;
        QByteArray bytes;
        QPoint hot;
        QByteArray maskTwin;    // set where the mask decides
        QByteArray colourTwin;  // set where the plugin's reading keeps no colours
    } cases[] = {
        {"1 bit, 32 x 32", bitmapCursor(32, 32, 1, Alpha::None, 1, {3, 4}), {3, 4}, {}},
        {"1 bit, odd width", bitmapCursor(13, 7, 1, Alpha::None, 2, {12, 6}), {12, 6}, {}},
        {"4 bits", bitmapCursor(17, 9, 4, Alpha::None, 3, {0, 0}), {0, 0}, {}},
        {"8 bits", bitmapCursor(21, 11, 8, Alpha::None, 4, {5, 5}), {5, 5}, {}},
        {"24 bits, odd width", bitmapCursor(15, 10, 24, Alpha::None, 5, {1, 9}), {1, 9},
         bitmapCursor(15, 10, 1, Alpha::None, 5, {1, 9})},
        {"32 bits with alpha", bitmapCursor(32, 32, 32, Alpha::Mixed, 6, {10, 2}), {10, 2}, {}},
        {"32 bits, no alpha", bitmapCursor(19, 8, 32, Alpha::None, 7, {2, 3}), {2, 3},
         bitmapCursor(19, 8, 1, Alpha::None, 7, {2, 3}),
         bitmapCursor(19, 8, 32, Alpha::Opaque, 7, {2, 3})},
        {"PNG", pngCursor({7, 8}), {7, 8}, {}},
    };
    for (const auto& c : cases) {
        QImage expected = toolkitReads(c.colourTwin.isEmpty() ? c.bytes : c.colourTwin);
        ASSERT_FALSE(expected.isNull()) << c.name;
        if (!c.maskTwin.isEmpty()) {
            const QImage mask = toolkitReads(c.maskTwin);
            ASSERT_EQ(mask.size(), expected.size()) << c.name;
            for (int y = 0; y < expected.height(); ++y)
                for (int x = 0; x < expected.width(); ++x)
                    expected.setPixel(x, y, qAlpha(mask.pixel(x, y)) == 0
                                                ? 0u
                                                : expected.pixel(x, y) | 0xFF000000u);
        }
        const common::CursorImage ours = common::decodeCursor(c.bytes);
        EXPECT_EQ(ours.hotSpot, c.hot) << c.name;
        ASSERT_EQ(ours.image.size(), expected.size()) << c.name;
        int differing = 0, transparent = 0;
        for (int y = 0; y < expected.height(); ++y)
            for (int x = 0; x < expected.width(); ++x) {
                const QRgb a = ours.image.pixel(x, y), b = expected.pixel(x, y);
                transparent += qAlpha(a) == 0;
                // A transparent pixel's colour is not seen.
                if (a != b && !(qAlpha(a) == 0 && qAlpha(b) == 0)) ++differing;
            }
        EXPECT_EQ(differing, 0) << c.name;
        // Each kind has pixels of both sorts, so a mask or alpha ignored shows.
        EXPECT_GT(transparent, 0) << c.name;
        EXPECT_LT(transparent, expected.width() * expected.height()) << c.name;
    }
}

TEST(CursorFileTest, DamagedBytesNameTheFault) {
    const QByteArray good = bitmapCursor(16, 16, 4, Alpha::None, 8, {1, 1});
    auto with = [&](int offset, QByteArray bytes) { return QByteArray(good).replace(offset, bytes.size(), bytes); };
    const struct {
        const char* name;
        QByteArray bytes;
        const char* fault;
    } cases[] = {
        {"empty", QByteArray(), "bad header"},
        {"an icon, not a cursor", with(2, QByteArray("\1\0", 2)), "bad header"},
        {"no images", with(4, QByteArray(2, 0)), "bad header"},
        {"image beyond the end", with(6 + 12, QByteArray("\xff\xff\0\0", 4)), "outside the file"},
        {"truncated bitmap", good.left(good.size() - 10), "outside the file"},
        {"bad bitmap header", with(22, QByteArray("\x0c\0\0\0", 4)), "bad bitmap header"},
        {"3 bits per pixel", with(22 + 14, QByteArray("\3\0", 2)), "3 bits per pixel"},
        {"compressed", with(22 + 16, QByteArray("\1\0\0\0", 4)), "compressed"},
        {"too wide", with(22 + 4, QByteArray("\0\2\0\0", 4)), "unsupported size"},
        {"hot spot outside", with(6 + 4, QByteArray("\x10\0", 2)), "hot spot outside"},
    };
    for (const auto& c : cases) {
        try {
            common::decodeCursor(c.bytes);
            ADD_FAILURE() << c.name << ": no fault";
        } catch (const common::Failure& fault) {
            EXPECT_NE(std::string(fault.what()).find(c.fault), std::string::npos)
                << c.name << ": " << fault.what();
        }
    }
}

}  // namespace
