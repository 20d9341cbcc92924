#pragma once

#include <QByteArray>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QString>

namespace common {

// Reads a Windows cursor file (.cur): the first image and its hot spot from the file's directory
// entry. Throws common::Failure naming the file and the fault when it is not a readable cursor.
// With a device pixel `ratio` above 1 the image is drawn that many times larger and tagged with the
// ratio; the hot spot stays on the same point of it.
QCursor loadCursorFile(const QString& path, double ratio = 1.0);

// The first image of a cursor file's bytes (ARGB32) and its hot spot, in the image's pixels.
// The image is a device-independent bitmap of 1, 4, 8, 24 or 32 bits per pixel with its AND
// mask (a set mask bit is a transparent pixel; at 32 bits the alpha channel decides, the mask
// only where every alpha is 0), or a PNG file. Read without the toolkit's image plugins, whose
// loading would cost every start. Throws common::Failure with the fault (no file name) when the
// bytes are not a cursor this reads.
struct CursorImage {
    QImage image;
    QPoint hotSpot;
};
CursorImage decodeCursor(const QByteArray& bytes);

// A PNG image read by the toolkit's built-in reader alone: a reader left to guess the format
// loads every image-format plugin first. A null image when the bytes are no PNG.
QImage readBuiltInPng(const QByteArray& bytes);

}  // namespace common
