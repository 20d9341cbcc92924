#pragma once

#include <QCursor>
#include <QString>

namespace common {

// Reads a Windows cursor file (.cur): the first image and its hot spot from the file's directory
// entry. Throws common::Failure naming the file and the fault when it is not a readable cursor.
// With a device pixel `ratio` above 1 the image is drawn that many times larger and tagged with the
// ratio; the hot spot stays on the same point of it.
QCursor loadCursorFile(const QString& path, double ratio = 1.0);

}  // namespace common
