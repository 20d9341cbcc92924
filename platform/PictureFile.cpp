#include "platform/PictureFile.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryFile>
#include <QtEndian>
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/WorkingFile.h"

namespace platform {

namespace {

// BITMAPFILEHEADER (14 bytes) and BITMAPINFOHEADER (40 bytes), then the pixels.
constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr int kHeaderSize = kFileHeaderSize + kInfoHeaderSize;
constexpr quint16 kPlanes = 1;
constexpr quint16 kBitsPerPixel = 32;
constexpr quint32 kUncompressed = 0;  // BI_RGB: blue, green, red and an unused byte a pixel
// A picture file is read in pieces of this size, each checked while it is still in the cache.
constexpr qint64 kReadPiece = 1 << 20;

void put16(uchar* at, quint16 value) { qToLittleEndian(value, at); }
void put32(uchar* at, quint32 value) { qToLittleEndian(value, at); }
quint16 get16(const uchar* at) { return qFromLittleEndian<quint16>(at); }
quint32 get32(const uchar* at) { return qFromLittleEndian<quint32>(at); }

// The picture's own bytes are the BMP's pixels when it is 32-bit RGB: 0xffRRGGBB is stored as
// blue, green, red, 0xff, and its rows follow one another without padding.
bool isStoredAsIs(const QImage& picture) {
    return picture.format() == QImage::Format_RGB32 &&
           picture.bytesPerLine() == qsizetype(picture.width()) * 4;
}

bool fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

bool writeAsIs(const QImage& picture, QFileDevice& file, QString* error) {
    const qint64 pixelBytes = qint64(picture.bytesPerLine()) * picture.height();
    if (kHeaderSize + pixelBytes > qint64(UINT32_MAX))
        return fail(error, QStringLiteral("the picture is too large for a BMP file"));
    uchar header[kHeaderSize] = {};
    header[0] = 'B';
    header[1] = 'M';
    put32(header + 2, quint32(kHeaderSize + pixelBytes));
    put32(header + 10, kHeaderSize);
    uchar* info = header + kFileHeaderSize;
    put32(info, kInfoHeaderSize);
    put32(info + 4, quint32(picture.width()));
    put32(info + 8, quint32(-qint32(picture.height())));  // rows from the top
    put16(info + 12, kPlanes);
    put16(info + 14, kBitsPerPixel);
    put32(info + 16, kUncompressed);
    put32(info + 20, quint32(pixelBytes));
    put32(info + 24, quint32(picture.dotsPerMeterX()));
    put32(info + 28, quint32(picture.dotsPerMeterY()));

    const char* pixels = reinterpret_cast<const char*>(picture.constBits());
    if (file.write(reinterpret_cast<const char*>(header), kHeaderSize) != kHeaderSize ||
        file.write(pixels, pixelBytes) != pixelBytes || !file.flush())
        return fail(error, file.errorString());
    return true;
}

// The unused byte of two pixels read as one 64-bit word.
constexpr quint64 kUnusedBytes = 0xff000000ff000000u;

// The bitwise AND of all 64-bit words in `bytes` (a whole number of pixels), in four independent
// lanes so that the loop runs at the speed of the cache; an odd last pixel counts twice.
quint64 andOfAll(const uchar* bytes, qint64 size) {
    quint64 lane[4] = {~quint64(0), ~quint64(0), ~quint64(0), ~quint64(0)};
    const qint64 words = size / 8;
    qint64 i = 0;
    for (; i + 4 <= words; i += 4)
        for (int k = 0; k < 4; ++k) {
            quint64 word;
            std::memcpy(&word, bytes + (i + k) * 8, 8);
            lane[k] &= word;
        }
    for (; i < words; ++i) {
        quint64 word;
        std::memcpy(&word, bytes + i * 8, 8);
        lane[0] &= word;
    }
    if (size % 8 != 0) {
        quint32 last;
        std::memcpy(&last, bytes + size - 4, 4);
        lane[0] &= quint64(last) << 32 | last;
    }
    return lane[0] & lane[1] & lane[2] & lane[3];
}

// The header of a BMP file in the form savePictureFile writes for a 32-bit picture.
struct AsIsHeader {
    int width = 0;
    int height = 0;
    qint32 dotsPerMeterX = 0;
    qint32 dotsPerMeterY = 0;
};

bool readAsIsHeader(QFile& file, AsIsHeader& out) {
    uchar header[kHeaderSize];
    if (file.read(reinterpret_cast<char*>(header), kHeaderSize) != kHeaderSize) return false;
    const uchar* info = header + kFileHeaderSize;
    if (header[0] != 'B' || header[1] != 'M' || get32(header + 10) != kHeaderSize ||
        get32(info) != kInfoHeaderSize || get16(info + 12) != kPlanes ||
        get16(info + 14) != kBitsPerPixel || get32(info + 16) != kUncompressed ||
        get32(info + 32) != 0)
        return false;
    const qint32 width = qint32(get32(info + 4));
    const qint32 height = qint32(get32(info + 8));
    if (width <= 0 || height >= 0 || height == INT32_MIN) return false;
    out.width = width;
    out.height = -height;
    out.dotsPerMeterX = qint32(get32(info + 24));
    out.dotsPerMeterY = qint32(get32(info + 28));
    // Qt's readers refuse pictures above their allocation limit; so does this one.
    const qint64 bytes = qint64(out.width) * out.height * 4;
    const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
    return limit <= 0 || bytes <= limit;
}

// Reads the pixels straight into the picture; a file that ends before its last pixel gives none.
// The unused byte of every pixel becomes 0xff, as a 32-bit RGB picture has it (and as Qt's BMP
// reader makes it), whatever the file holds there.
QImage readAsIs(QFile& file, const AsIsHeader& header) {
    QImage picture(header.width, header.height, QImage::Format_RGB32);
    if (picture.isNull()) return QImage();
    uchar* bits = picture.bits();
    const qint64 total = qint64(picture.bytesPerLine()) * picture.height();
    quint64 allUnused = ~quint64(0);
    for (qint64 done = 0; done < total;) {
        const qint64 piece = std::min(kReadPiece, total - done);
        if (file.read(reinterpret_cast<char*>(bits + done), piece) != piece) return QImage();
        allUnused &= andOfAll(bits + done, piece);
        done += piece;
    }
    if ((allUnused & kUnusedBytes) != kUnusedBytes) {
        quint32* pixel = reinterpret_cast<quint32*>(bits);
        for (qint64 i = 0; i < total / 4; ++i) pixel[i] |= 0xff000000u;
    }
    picture.setDotsPerMeterX(header.dotsPerMeterX);
    picture.setDotsPerMeterY(header.dotsPerMeterY);
    return picture;
}

}  // namespace

bool savePictureFile(const QImage& picture, const QString& path, QString* error) {
    if (picture.isNull()) return fail(error, QStringLiteral("there is no picture"));
    // A fresh file beside the target, made exclusively and for the user alone; it takes the
    // target's name only when whole.
    const QFileInfo target(path);
    QTemporaryFile file(target.absolutePath() + QLatin1Char('/') + target.fileName() +
                        QStringLiteral(".XXXXXX"));
    if (!file.open()) return fail(error, file.errorString());
    if (isStoredAsIs(picture)) {
        if (!writeAsIs(picture, file, error)) return false;
    } else {
        QImageWriter writer(&file, "bmp");
        if (!writer.write(picture) || !file.flush()) {
            const QString reason = writer.error() != QImageWriter::UnknownError
                                       ? writer.errorString()
                                       : file.errorString();
            return fail(error, reason);
        }
    }
    file.close();
    QString moveError;
    if (!moveIntoPlace(file.fileName(), path, &moveError)) return fail(error, moveError);
    file.setAutoRemove(false);  // its old name may be anybody's now
    return true;
}

QImage loadPictureFile(const QString& path) {
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return QImage();
        AsIsHeader header;
        if (readAsIsHeader(file, header)) return readAsIs(file, header);
    }
    QImage picture;
    picture.load(path);  // any other picture, by its content
    return picture;
}

}  // namespace platform
