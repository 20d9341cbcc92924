#include "platform/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QtGlobal>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

constexpr uint kOthersAccess = S_IRWXG | S_IRWXO;

// The fresh folder this run made, removed at the end of the run when nothing is left in it.
QString& madeThisRun() {
    static QString folder;
    return folder;
}

void removeFreshFolderAtExit() {
    if (!madeThisRun().isEmpty()) ::rmdir(QFile::encodeName(madeThisRun()).constData());
}

TempEnvironment environmentNow() {
    TempEnvironment env;
    env.temp = qEnvironmentVariable("TEMP");
    env.runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    env.systemTemp = QDir::tempPath();
    env.home = QDir::homePath();
    env.user = currentUserId();
    env.madeBefore = madeThisRun();
    return env;
}

// Each private folder passed over is told once a run, on the program's error output.
void tellPassedOver(const QStringList& passedOver) {
    static QSet<QString> told;
    for (const QString& line : passedOver) {
        if (told.contains(line)) continue;
        told.insert(line);
        qWarning("Working files are not kept in %s.", qPrintable(line));
    }
}

QString makeFreshFolder(const QString& base, uint user) {
    QByteArray pattern =
        QFile::encodeName(QDir(base).filePath(QStringLiteral("morrowlin-%1-XXXXXX").arg(user)));
    if (::mkdtemp(pattern.data()) == nullptr) {
        const QString folder = QFile::decodeName(pattern);
        qWarning("No private folder for working files could be made in %s: %s.",
                 qPrintable(QDir::toNativeSeparators(base)), std::strerror(errno));
        return folder;  // a name that is not there: every file made in it fails, named
    }
    madeThisRun() = QFile::decodeName(pattern);
    static const bool registered = (std::atexit(removeFreshFolderAtExit), true);
    (void)registered;
    return madeThisRun();
}

}  // namespace

QString notPrivateFolderReason(const PathStatus& folder, uint user) {
    switch (folder.kind) {
        case PathStatus::Missing: return QStringLiteral("it is not there");
        case PathStatus::Link: return QStringLiteral("it is a link");
        case PathStatus::Folder: break;
        default: return QStringLiteral("it is not a folder");
    }
    if (folder.owner != user) return QStringLiteral("it belongs to another account");
    if (folder.permissions & kOthersAccess)
        return QStringLiteral("other accounts have access to it");
    return QString();
}

TempFolderChoice chooseTemporaryFolder(const TempEnvironment& env,
                                       const std::function<PathStatus(const QString&)>& statusOf) {
    TempFolderChoice choice;
    if (!env.temp.isEmpty() && !QDir(env.temp).isRoot()) {
        choice.path = QDir::cleanPath(env.temp);
        return choice;
    }
    const QString base =
        QDir(env.systemTemp).isRoot() ? env.home : QDir::cleanPath(env.systemTemp);

    struct Candidate {
        QString path;
        bool mayMake;
    };
    QList<Candidate> candidates;
    if (!env.runtimeDir.isEmpty() && QDir::isAbsolutePath(env.runtimeDir)) {
        const QString runtime = QDir::cleanPath(env.runtimeDir);
        const QString reason = notPrivateFolderReason(statusOf(runtime), env.user);
        if (reason.isEmpty())
            candidates.append({QDir(runtime).filePath(QStringLiteral("morrowlin")), true});
        else
            choice.passedOver.append(runtime + QStringLiteral(": ") + reason);
    }
    candidates.append({QDir(base).filePath(QStringLiteral("morrowlin-%1").arg(env.user)), true});
    if (!env.madeBefore.isEmpty() && QFileInfo(env.madeBefore).path() == base)
        candidates.append({env.madeBefore, false});

    for (const Candidate& candidate : candidates) {
        const PathStatus status = statusOf(candidate.path);
        if (status.kind == PathStatus::Missing && candidate.mayMake &&
            !env.notMade.contains(candidate.path)) {
            choice.how = TempFolderChoice::MakePrivate;
            choice.path = candidate.path;
            return choice;
        }
        const QString reason = status.kind == PathStatus::Missing && candidate.mayMake
                                   ? QStringLiteral("it could not be made")
                                   : notPrivateFolderReason(status, env.user);
        if (reason.isEmpty()) {
            choice.how = TempFolderChoice::Private;
            choice.path = candidate.path;
            return choice;
        }
        choice.passedOver.append(candidate.path + QStringLiteral(": ") + reason);
    }
    choice.how = TempFolderChoice::MakeFresh;
    choice.path = base;
    return choice;
}

QString temporaryFolder() {
    TempEnvironment env = environmentNow();
    for (;;) {
        const TempFolderChoice choice = chooseTemporaryFolder(env, pathStatus);
        switch (choice.how) {
            case TempFolderChoice::AsSet: return choice.path;
            case TempFolderChoice::Private:
                tellPassedOver(choice.passedOver);
                return choice.path;
            case TempFolderChoice::MakePrivate:
                // mkdir never follows a link in the last place; what it made (or found there
                // meanwhile) is checked by the next choice like any folder that was there.
                ::mkdir(QFile::encodeName(choice.path).constData(), 0700);
                env.notMade.append(choice.path);
                break;
            case TempFolderChoice::MakeFresh:
                tellPassedOver(choice.passedOver);
                return makeFreshFolder(choice.path, env.user);
        }
    }
}

}  // namespace platform
