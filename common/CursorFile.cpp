#include "common/CursorFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPixmap>

#include "common/Failure.h"

namespace common {

namespace {

quint16 readU16(const QByteArray& bytes, int offset) {
    return quint16(quint8(bytes[offset])) | quint16(quint8(bytes[offset + 1]) << 8);
}

}  // namespace

QCursor loadCursorFile(const QString& path, double ratio) {
    const QString shown = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QString("The cursor file \"%1\" could not be read: %2.")
                          .arg(shown, file.errorString()));
    const QByteArray bytes = file.readAll();

    // Directory: reserved 0, type 2 (cursor), image count; then 16-byte entries whose bytes 4..7
    // hold the hot spot.
    if (bytes.size() < 6 + 16 || readU16(bytes, 0) != 0 || readU16(bytes, 2) != 2 ||
        readU16(bytes, 4) == 0)
        throw Failure(
            QString("The cursor file \"%1\" is not a valid cursor (bad header).").arg(shown));
    const int hotX = readU16(bytes, 6 + 4);
    const int hotY = readU16(bytes, 6 + 6);

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "cur");
    const QImage image = reader.read();
    if (image.isNull())
        throw Failure(QString("The cursor file \"%1\" is not a valid cursor (%2).")
                          .arg(shown, reader.errorString()));
    if (hotX >= image.width() || hotY >= image.height())
        throw Failure(QString("The cursor file \"%1\" is not a valid cursor (hot spot outside "
                              "the image).")
                          .arg(shown));
    if (!(ratio > 1)) return QCursor(QPixmap::fromImage(image), hotX, hotY);
    // On a scaled screen the cursor is drawn with as many device pixels as the desktop's own, its
    // hot spot on the same point of the hand.
    const QSize device(qRound(image.width() * ratio), qRound(image.height() * ratio));
    QPixmap pixmap =
        QPixmap::fromImage(image.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    // X11 takes the cursor's pixels and its hot spot as they are, in device pixels; the other
    // platforms scale the hot spot with the pixmap's ratio themselves.
    const double hotScale = QGuiApplication::platformName() == QLatin1String("xcb") ? ratio : 1.0;
    return QCursor(pixmap, qRound(hotX * hotScale), qRound(hotY * hotScale));
}

}  // namespace common
