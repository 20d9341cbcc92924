#include "common/CursorFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPixmap>
#include <cstdint>

#include "common/Failure.h"

namespace common {

namespace {

// The directory at the start of the file: reserved 0, type 2 (cursor), the image count; then an
// entry of 16 bytes per image: width, height, colour count, reserved, the hot spot's x and y,
// the image's size in bytes and its offset from the start of the file.
constexpr int kDirectorySize = 6;
constexpr int kEntrySize = 16;
constexpr int kEntryHotX = 4;
constexpr int kEntryHotY = 6;
constexpr int kEntryBytes = 8;
constexpr int kEntryOffset = 12;
constexpr quint16 kCursorType = 2;

// The image's BITMAPINFOHEADER; its height counts the colour rows and the mask rows.
constexpr quint32 kInfoHeaderSize = 40;
constexpr int kInfoWidth = 4;
constexpr int kInfoHeight = 8;
constexpr int kInfoBitCount = 14;
constexpr int kInfoCompression = 16;
constexpr int kInfoColoursUsed = 32;
constexpr quint32 kUncompressed = 0;
// Windows draws cursors of at most 256 x 256 pixels.
constexpr qint32 kLargestSide = 256;

constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

quint16 u16(const QByteArray& bytes, qsizetype offset) {
    return quint16(quint8(bytes[offset])) | quint16(quint8(bytes[offset + 1]) << 8);
}

quint32 u32(const QByteArray& bytes, qsizetype offset) {
    return quint32(u16(bytes, offset)) | (quint32(u16(bytes, offset + 2)) << 16);
}

// Bytes of one bitmap row: whole 32-bit words.
qsizetype rowBytes(qint32 width, int bitsPerPixel) {
    return (qsizetype(width) * bitsPerPixel + 31) / 32 * 4;
}

// The palette index or packed colour of pixel `x` of a row of `bits` bits per pixel.
quint32 pixelValue(const char* row, qint32 x, int bits) {
    const auto byte = [row](qsizetype i) { return quint32(quint8(row[i])); };
    switch (bits) {
        case 1:
            return (byte(x / 8) >> (7 - x % 8)) & 1;
        case 4:
            return (byte(x / 2) >> (x % 2 == 0 ? 4 : 0)) & 0xF;
        case 8:
            return byte(x);
        case 24:  // blue, green, red
            return 0xFF000000u | byte(x * 3) | (byte(x * 3 + 1) << 8) | (byte(x * 3 + 2) << 16);
        default:  // 32: blue, green, red, alpha
            return byte(x * 4) | (byte(x * 4 + 1) << 8) | (byte(x * 4 + 2) << 16) |
                   (byte(x * 4 + 3) << 24);
    }
}

QImage decodeBitmap(const QByteArray& image) {
    if (image.size() < qsizetype(kInfoHeaderSize) || u32(image, 0) != kInfoHeaderSize)
        throw Failure("bad bitmap header");
    const auto width = qint32(u32(image, kInfoWidth));
    const auto doubleHeight = qint32(u32(image, kInfoHeight));
    const int bits = u16(image, kInfoBitCount);
    if (width < 1 || width > kLargestSide || doubleHeight < 2 || doubleHeight % 2 != 0 ||
        doubleHeight / 2 > kLargestSide)
        throw Failure(QString("unsupported size %1 x %2").arg(width).arg(doubleHeight / 2));
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)
        throw Failure(QString("unsupported %1 bits per pixel").arg(bits));
    if (u32(image, kInfoCompression) != kUncompressed) throw Failure("compressed bitmap");
    const qint32 height = doubleHeight / 2;

    QVector<QRgb> palette;
    qsizetype at = kInfoHeaderSize;
    if (bits <= 8) {
        const quint32 used = u32(image, kInfoColoursUsed);
        const quint32 colours = used == 0 || used > (1u << bits) ? 1u << bits : used;
        if (image.size() < at + qsizetype(colours) * 4) throw Failure("truncated palette");
        for (quint32 i = 0; i < colours; ++i, at += 4)
            palette.push_back(pixelValue(image.constData() + at, 0, 24));
    }
    const qsizetype colourRow = rowBytes(width, bits);
    const qsizetype maskRow = rowBytes(width, 1);
    const qsizetype colourStart = at;
    const qsizetype maskStart = colourStart + colourRow * height;
    if (image.size() < maskStart + maskRow * height) throw Failure("truncated bitmap");

    QImage result(width, height, QImage::Format_ARGB32);
    bool anyAlpha = false;
    // Rows are stored bottom up.
    for (qint32 y = 0; y < height; ++y) {
        const char* row = image.constData() + colourStart + colourRow * (height - 1 - y);
        auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (qint32 x = 0; x < width; ++x) {
            const quint32 value = pixelValue(row, x, bits);
            if (bits <= 8)
                out[x] = value < quint32(palette.size()) ? palette[int(value)] : 0xFF000000u;
            else
                out[x] = value;
            anyAlpha = anyAlpha || (bits == 32 && qAlpha(out[x]) != 0);
        }
    }
    if (anyAlpha) return result;
    for (qint32 y = 0; y < height; ++y) {
        const char* row = image.constData() + maskStart + maskRow * (height - 1 - y);
        auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (qint32 x = 0; x < width; ++x)
            out[x] = pixelValue(row, x, 1) != 0 ? 0u : (out[x] | 0xFF000000u);
    }
    return result;
}

}  // namespace

QImage readBuiltInPng(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

CursorImage decodeCursor(const QByteArray& bytes) {
    if (bytes.size() < kDirectorySize + kEntrySize || u16(bytes, 0) != 0 ||
        u16(bytes, 2) != kCursorType || u16(bytes, 4) == 0)
        throw Failure("bad header");
    const QPoint hotSpot(u16(bytes, kDirectorySize + kEntryHotX),
                         u16(bytes, kDirectorySize + kEntryHotY));
    const quint32 size = u32(bytes, kDirectorySize + kEntryBytes);
    const quint32 offset = u32(bytes, kDirectorySize + kEntryOffset);
    if (offset > quint32(bytes.size()) || size > quint32(bytes.size()) - offset)
        throw Failure("the image lies outside the file");
    const QByteArray image = bytes.mid(offset, size);

    QImage decoded;
    if (image.startsWith(QByteArray::fromRawData(kPngSignature, sizeof kPngSignature - 1))) {
        decoded = readBuiltInPng(image).convertToFormat(QImage::Format_ARGB32);
        if (decoded.isNull()) throw Failure("unreadable PNG image");
    } else {
        decoded = decodeBitmap(image);
    }
    if (hotSpot.x() >= decoded.width() || hotSpot.y() >= decoded.height())
        throw Failure("hot spot outside the image");
    return {decoded, hotSpot};
}

QCursor loadCursorFile(const QString& path, double ratio) {
    const QString shown = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QString("The cursor file \"%1\" could not be read: %2.")
                          .arg(shown, file.errorString()));
    CursorImage cursor;
    try {
        cursor = decodeCursor(file.readAll());
    } catch (const Failure& fault) {
        throw Failure(QString("The cursor file \"%1\" is not a valid cursor (%2).")
                          .arg(shown, QString::fromUtf8(fault.what())));
    }
    const QImage& image = cursor.image;
    if (!(ratio > 1)) return QCursor(QPixmap::fromImage(image), cursor.hotSpot.x(), cursor.hotSpot.y());
    // On a scaled screen the cursor is drawn with as many device pixels as the desktop's own, its
    // hot spot on the same point of the hand.
    const QSize device(qRound(image.width() * ratio), qRound(image.height() * ratio));
    QPixmap pixmap =
        QPixmap::fromImage(image.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    // X11 takes the cursor's pixels and its hot spot as they are, in device pixels; the other
    // platforms scale the hot spot with the pixmap's ratio themselves.
    const double hotScale = QGuiApplication::platformName() == QLatin1String("xcb") ? ratio : 1.0;
    return QCursor(pixmap, qRound(cursor.hotSpot.x() * hotScale),
                   qRound(cursor.hotSpot.y() * hotScale));
}

}  // namespace common
