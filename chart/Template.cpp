#include "chart/Template.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include "common/Failure.h"
#include "common/Main.h"
#include "platform/WorkingFile.h"

namespace chart {

namespace {

// The bytes in a fresh file beside `path`, made exclusively for the user alone; its path.
QString writeFreshCopy(const QByteArray& bytes, const QString& path) {
    QCoreApplication::processEvents();
    const QFileInfo info(path);
    QTemporaryFile file(QDir(info.absolutePath())
                            .filePath(info.completeBaseName() + QStringLiteral("-XXXXXX.") +
                                      info.suffix()));
    if (!file.open())
        throw common::Failure(
            QString("A copy of the template could not be created in \"%1\": %2.")
                .arg(QDir::toNativeSeparators(info.absolutePath()), file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw common::Failure(
            QString("The file \"%1\" could not be written: %2.")
                .arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
    file.setAutoRemove(false);
    return file.fileName();
}

}  // namespace

QByteArray TemplateBytes() {
    QFile resource(QStringLiteral(":/Pie Chart.xlt"));
    if (!resource.open(QIODevice::ReadOnly))
        throw common::Failure(
            "The workbook template \"Pie Chart.xlt\" is missing from the program.");
    return resource.readAll();
}

void WriteTemplateCopy(const QByteArray& bytes, QString& path) {
    using platform::PathStatus;
    const auto status = [&] { return platform::pathStatus(path); };
    const auto usersOwn = [&] {
        return platform::notOwnFileReason(status(),
                                          platform::pathStatus(QFileInfo(path).absolutePath()),
                                          platform::currentUserId())
            .isEmpty();
    };
    if (status().kind == PathStatus::Missing || usersOwn()) {
        try {
            common::Main::WriteNewFile(bytes, path);
        } catch (const common::Failure&) {
            if (status().kind == PathStatus::Missing || usersOwn()) throw;
        }
        // Looked at again: while pending events ran, anybody could have put a file there.
        if (usersOwn()) return;
    }
    const QString taken = path;
    path.clear();
    path = writeFreshCopy(bytes, taken);
}

}  // namespace chart
