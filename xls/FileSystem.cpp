// Reading and replacing whole files: a portable path of the standard libraries, and on Linux
// one of system calls.
#include "xls/FileSystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string_view>
#include <system_error>

#ifdef __linux__
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#endif

#include "xls/Error.h"
#include "xls/FastPaths.h"

namespace xls::fs {

namespace {

std::atomic<unsigned> gCounter{0};

// A part of a temporary file's name that no other account can foresee: the process's own random
// number with a count of the names made.
uint64_t unguessable() {
    static const uint64_t salt = uint64_t(std::random_device{}()) << 32 | std::random_device{}();
    return salt ^ (uint64_t(gCounter++) << 40);
}

std::string fileNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || slash + 1 == path.size() ? path : path.substr(slash + 1);
}

Error folderError(const std::string& name) {
    return Error(ErrorKind::Io, name, "cannot read the file (it is a folder)");
}

// The portable path: C stdio to read and to write a new file exclusively, and
// std::filesystem::rename, which replaces a file in one step on POSIX and on Windows.
Bytes readFilePortable(const std::string& path, const std::string& name) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw folderError(name);
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        throw Error(ErrorKind::Io, name,
                    std::string("cannot open the file (") + std::strerror(errno) + ")");
    Bytes bytes(65536);
    size_t size = 0;
    for (;;) {
        if (size == bytes.size()) bytes.resize(bytes.size() * 2);
        const size_t n = std::fread(bytes.data() + size, 1, bytes.size() - size, f);
        size += n;
        if (n == 0) break;
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) throw Error(ErrorKind::Io, name, "cannot read the file");
    bytes.resize(size);
    return bytes;
}

void writeAtomicallyPortable(const std::string& path, const std::string& name,
                             const std::vector<Piece>& pieces) {
    const std::filesystem::path target(path);
    std::error_code ec;
    const auto old = std::filesystem::status(target, ec);
    std::filesystem::path temp = target;
    std::FILE* f = nullptr;
    // Created anew ("x": exclusively, so never through a link standing under its name).
    for (int attempt = 0; !f && attempt < 100; ++attempt) {
        char unique[17];
        std::snprintf(unique, sizeof unique, "%016llx",
                      static_cast<unsigned long long>(unguessable()));
        temp.replace_filename("." + name + ".tmp-" + unique);
        errno = 0;
        f = std::fopen(temp.string().c_str(), "wbx");
        if (!f && errno != EEXIST) break;
    }
    if (!f)
        throw Error(ErrorKind::Io, name,
                    std::string("cannot create the file (") + std::strerror(errno) + ")");
    bool ok = true;
    for (const Piece& p : pieces)
        if (p.size > 0 && std::fwrite(p.data, 1, p.size, f) != p.size) ok = false;
    if (std::fclose(f) != 0) ok = false;
    if (ok && std::filesystem::is_regular_file(old))
        std::filesystem::permissions(temp, old.permissions(), ec);  // the replaced file's
    if (!ok) {
        std::filesystem::remove(temp, ec);
        throw Error(ErrorKind::Io, name, "cannot write the file (disk full?)");
    }
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        const std::string why = std::strerror(ec.value());
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        throw Error(ErrorKind::Io, name, "cannot replace the file (" + why + ")");
    }
}

#ifdef __linux__
Bytes readFilePosix(const std::string& path, const std::string& name) {
    auto folder = [&] {
        return Error(ErrorKind::Io, name, "cannot read the file (it is a folder)");
    };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0) {
        int error = errno;
        if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) throw folder();
        throw Error(ErrorKind::Io, name,
                    std::string("cannot open the file (") + std::strerror(error) + ")");
    }
    bool failed = ::fstat(fd, &st) != 0;
    if (!failed && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw folder();
    }
    // Room for the whole file and one byte more: a regular file that gives fewer bytes than
    // asked for is at its end, so a file of the size it had is read in one call.
    const bool regular = !failed && S_ISREG(st.st_mode) && st.st_size > 0;
    Bytes bytes(regular ? size_t(st.st_size) + 1 : 65536);
    size_t size = 0;
    while (!failed) {
        if (size == bytes.size()) bytes.resize(bytes.size() * 2);
        const size_t wanted = bytes.size() - size;
        ssize_t n = ::read(fd, bytes.data() + size, wanted);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failed = true;
        if (n <= 0) break;
        size += size_t(n);
        if (regular && size_t(n) < wanted && size >= size_t(st.st_size)) break;
    }
    ::close(fd);
    if (failed) throw Error(ErrorKind::Io, name, "cannot read the file");
    bytes.resize(size);
    return bytes;
}

// Writes `pieces` one after the other to a new file beside `path`, then puts it in the place of
// `path`: a create, one write per 512 pieces, a close and a rename (or a swap and an unlink).
// The new file is created exclusively, never through a link that stands under its name, with the
// permissions of the file it replaces (those a new file gets when there is none).
void writeAtomicallyPosix(const std::string& path, const std::string& name,
                          std::vector<iovec> parts) {
    // The temporary in the target's folder: the path up to its last '/', then a hidden name.
    const std::string& target = path;
    const size_t slash = path.rfind('/');
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)
                            ? mode_t(old.st_mode & 0777)
                            : mode_t(0666);
    // A name no other account can foresee.
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        char unique[17];
        std::snprintf(unique, sizeof unique, "%016llx",
                      static_cast<unsigned long long>(unguessable()));
        temp = path.substr(0, slash == std::string::npos ? 0 : slash + 1) + "." + name + ".tmp" +
               std::to_string(::getpid()) + "-" + unique;
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0)
        throw Error(ErrorKind::Io, name,
                    std::string("cannot create the file (") + std::strerror(errno) + ")");
    bool ok = true;
    parts.erase(
        std::remove_if(parts.begin(), parts.end(), [](const iovec& v) { return v.iov_len == 0; }),
        parts.end());
    for (size_t first = 0; ok && first < parts.size();) {
        ssize_t n =
            ::writev(fd, parts.data() + first, int(std::min<size_t>(parts.size() - first, 512)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        // Past what was written: whole pieces dropped, a piece written in part moved on.
        for (size_t done = size_t(n); done > 0;) {
            size_t step = std::min(done, parts[first].iov_len);
            parts[first].iov_base = static_cast<uint8_t*>(parts[first].iov_base) + step;
            parts[first].iov_len -= step;
            done -= step;
            if (parts[first].iov_len == 0) ++first;
        }
    }
    if (::close(fd) != 0) ok = false;
    if (!ok) {
        ::unlink(temp.c_str());
        throw Error(ErrorKind::Io, name, "cannot write the file (disk full?)");
    }
#ifdef RENAME_EXCHANGE
    // Over an existing file the two are swapped and the old one, now under the temporary name,
    // is removed. ext4 makes a plain rename over a file write the new file's blocks out first
    // (its guard for programs that never sync), which cost more than the whole save of a small
    // workbook and waited on the disk. The swap replaces the file in one step just as the
    // rename does; neither syncs (the program's copy to the user's chosen file does). What was
    // swapped away is looked at only when it cannot be removed: a folder goes back to its
    // place, and the save fails as a rename onto it would.
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        if (::unlink(temp.c_str()) == 0) return;
        const std::string why = std::strerror(errno);
        const bool back =
            ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0;
        if (back) ::unlink(temp.c_str());
        throw Error(ErrorKind::Io, name,
                    "cannot replace the file (" + why + ")" +
                        (back ? "" : "; what was there is now " + fileNameOf(temp)));
    }
#endif
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        std::string why = std::strerror(errno);
        ::unlink(temp.c_str());
        throw Error(ErrorKind::Io, name, "cannot replace the file (" + why + ")");
    }
}

#endif  // __linux__

}  // namespace

Bytes readFile(const std::string& path, const std::string& name) {
#ifdef __linux__
    // Fast path: one read of a regular file's known size; the same bytes.
    if (kFastPaths) return readFilePosix(path, name);
#endif
    return readFilePortable(path, name);
}

void writeAtomically(const std::string& path, const std::string& name,
                     const std::vector<Piece>& pieces) {
#ifdef __linux__
    // Fast path: one writev per 512 pieces and a swap in place of the rename; the same file.
    if (kFastPaths) {
        std::vector<iovec> parts;
        parts.reserve(pieces.size());
        for (const Piece& p : pieces) parts.push_back({const_cast<uint8_t*>(p.data), p.size});
        return writeAtomicallyPosix(path, name, std::move(parts));
    }
#endif
    writeAtomicallyPortable(path, name, pieces);
}

}  // namespace xls::fs
