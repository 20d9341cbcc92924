#include "platform/TempFolder.h"

#include <QDir>

namespace platform {

QString temporaryFolder() {
    const QString temp = qEnvironmentVariable("TEMP");
    if (!temp.isEmpty() && !QDir(temp).isRoot()) return QDir::cleanPath(temp);
    const QString fallback = QDir::tempPath();
    return QDir(fallback).isRoot() ? QDir::homePath() : fallback;
}

}  // namespace platform
