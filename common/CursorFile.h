#pragma once

#include <QCursor>
#include <QString>

namespace app {

// Reads a Windows cursor file (.cur): the first image and its hot spot from the file's directory
// entry. Throws app::Failure naming the file and the fault when it is not a readable cursor.
QCursor loadCursorFile(const QString& path);

}  // namespace app
