#include "platform/WorkingFile.h"

#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

namespace {

constexpr uint kWritableByOthers = S_IWGRP | S_IWOTH;

QByteArray nativePath(const QString& path) { return QFile::encodeName(path); }

bool fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

QString systemError(int number) { return QString::fromLocal8Bit(std::strerror(number)); }

// Renames `from` to `to` when nothing is there: the kernel refuses a taken name in the same step.
// Where renameat2 is missing (or the file system does not know the flag) a hard link does the
// same; a file system without either gets a plain rename after a check of the name.
bool renameToFreeName(const QByteArray& from, const QByteArray& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return true;
    }
    if (errno == EEXIST) return false;
    struct stat st {};
    if (::lstat(to.constData(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.constData(), to.constData()) == 0;
}

}  // namespace

PathStatus pathStatus(const QString& path) {
    PathStatus status;
    struct stat st {};
    if (path.isEmpty() || ::lstat(nativePath(path).constData(), &st) != 0) return status;
    if (S_ISLNK(st.st_mode))
        status.kind = PathStatus::Link;
    else if (S_ISDIR(st.st_mode))
        status.kind = PathStatus::Folder;
    else if (S_ISREG(st.st_mode))
        status.kind = PathStatus::RegularFile;
    else
        status.kind = PathStatus::Other;
    status.owner = uint(st.st_uid);
    status.permissions = uint(st.st_mode) & 07777;
    return status;
}

uint currentUserId() { return uint(::geteuid()); }

QString notOwnFileReason(const PathStatus& file, const PathStatus& folder, uint user) {
    switch (file.kind) {
        case PathStatus::Missing: return QStringLiteral("it is not there");
        case PathStatus::Link: return QStringLiteral("it is a link");
        case PathStatus::Folder: return QStringLiteral("it is a folder");
        case PathStatus::Other: return QStringLiteral("it is not a regular file");
        case PathStatus::RegularFile: break;
    }
    if (file.owner != user) return QStringLiteral("it belongs to another account");
    if (file.permissions & kWritableByOthers)
        return QStringLiteral("other accounts can write to it");
    if ((folder.permissions & kWritableByOthers) && !(folder.permissions & S_ISVTX))
        return QStringLiteral("other accounts can replace it in its folder");
    return QString();
}

bool removeOwnFile(const QString& path) {
    const PathStatus status = pathStatus(path);
    if (status.kind == PathStatus::Missing) return true;
    if (status.kind == PathStatus::Folder || status.owner != currentUserId()) return false;
    // unlink removes the name itself: a link goes, what it points to stays.
    return ::unlink(nativePath(path).constData()) == 0 || errno == ENOENT;
}

bool createPrivateFile(const QString& path, QString* error) {
    const int fd = ::open(nativePath(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return fail(error, systemError(errno));
    ::close(fd);
    return true;
}

bool moveIntoPlace(const QString& from, const QString& to, QString* error) {
    const QByteArray source = nativePath(from), target = nativePath(to);
    const PathStatus there = pathStatus(to);
    if (there.kind == PathStatus::Missing) {
        if (renameToFreeName(source, target)) return true;
        if (errno == EEXIST)
            return fail(error, QStringLiteral("a file of that name appeared meanwhile; it is "
                                              "left alone"));
        return fail(error, systemError(errno));
    }
    // A rename never writes into the file it replaces, so a file of the user's own can go
    // whoever may write to it; anything else under the name stays.
    if (there.kind != PathStatus::RegularFile || there.owner != currentUserId()) {
        const QString reason = notOwnFileReason(there, PathStatus{}, currentUserId());
        return fail(error, QStringLiteral("the name is taken by a file this program did not "
                                          "make (%1); it is left alone")
                               .arg(reason));
    }
    if (::rename(source.constData(), target.constData()) == 0) return true;
    return fail(error, systemError(errno));
}

}  // namespace platform
