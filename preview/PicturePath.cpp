#include "preview/PicturePath.h"

#include <QDir>
#include <QFileInfo>

#include "platform/Dialogs.h"

namespace preview {

QString askPicturePath(platform::Dialogs& dialogs, const QString& title, const QString& filter) {
    QString path = dialogs.saveFileName(title, filter, QString(""));
    if (path.isEmpty()) return path;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != "png" && suffix != "svg" && suffix != "pdf") path += ".png";
    if (QFileInfo::exists(path) &&
        dialogs.messageBox("Are you sure you wish to overwrite " + shownPath(path) + " ?",
                           platform::kYesNo) != platform::kAnswerYes)
        return QString();
    return path;
}

QString shownPath(const QString& path) {
    return platform::messageExcerpt(QDir::toNativeSeparators(path));
}

}  // namespace preview
