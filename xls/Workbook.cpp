#include "xls/Workbook.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string_view>

#include "xls/WorkbookModel.h"

namespace xls {

namespace {

// What follows the last '/' of `path`: its file name, as std::filesystem::path::filename()
// gives it on POSIX (empty when the path ends with '/'), without splitting the whole path.
std::string_view lastPart(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string_view(path)
                                      : std::string_view(path).substr(slash + 1);
}

std::string fileNameOf(const std::string& path) {
    const std::string_view name = lastPart(path);
    return name.empty() ? path : std::string(name);
}

// The file name's extension as std::filesystem::path::extension() finds it: from its last dot,
// none for "." and "..", nor for a name whose only dot is its first character.
bool endsWithXls(const std::string& path) {
    const std::string_view name = lastPart(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name == "..") return false;
    std::string ext(name.substr(dot));
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".xls";
}

Bytes readFile(const std::string& path, const std::string& name) {
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
void writeAtomically(const std::string& path, std::vector<iovec> parts) {
    static std::atomic<unsigned> counter{0};
    std::string name = fileNameOf(path);
    // The temporary in the target's folder: the path up to its last '/', then a hidden name.
    const std::string& target = path;
    const size_t slash = path.rfind('/');
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)
                            ? mode_t(old.st_mode & 0777)
                            : mode_t(0666);
    // A name no other account can foresee: the process's own random number with the counter.
    static const uint64_t salt = uint64_t(std::random_device{}()) << 32 | std::random_device{}();
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        char unique[17];
        std::snprintf(unique, sizeof unique, "%016llx",
                      static_cast<unsigned long long>(salt ^ (uint64_t(counter++) << 40)));
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

// A job allocates and frees its buffers (the file, the workbook stream, a chart's records:
// megabytes for a long list) in one burst. By default glibc hands a freed heap top of more than
// 128 KB back to the kernel and gives each block from 128 KB up a mapping of its own, so every
// job faulted in and zeroed its pages afresh: a third of a 10,000-entry job's time, and more at
// 100,000. Blocks up to 32 MB (glibc's most) now come from the heap, and up to 128 MB of freed
// heap stays with the process for the next job; peak memory is unchanged.
void keepFreedMemoryForReuse() {
#ifdef __GLIBC__
    static const bool done = [] {
        ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
        ::mallopt(M_TRIM_THRESHOLD, 128 << 20);
        return true;
    }();
    (void)done;
#endif
}

}  // namespace

Workbook::Workbook(std::unique_ptr<WorkbookModel> model) : model_(std::move(model)) {}
Workbook::Workbook(Workbook&&) noexcept = default;
Workbook& Workbook::operator=(Workbook&&) noexcept = default;
Workbook::~Workbook() = default;

Workbook Workbook::open(const std::string& path) {
    keepFreedMemoryForReuse();
    std::string name = fileNameOf(path);
    return Workbook(std::make_unique<WorkbookModel>(readFile(path, name), std::move(name)));
}

Workbook Workbook::fromBytes(std::vector<uint8_t> bytes, std::string displayName) {
    keepFreedMemoryForReuse();
    return Workbook(std::make_unique<WorkbookModel>(std::move(bytes), std::move(displayName)));
}

void Workbook::saveAs(const std::string& path) {
    WorkbookModel::Saved saved = model_->save(!endsWithXls(path));
    std::vector<iovec> parts;
    auto add = [&](const uint8_t* data, size_t size) {
        parts.push_back({const_cast<uint8_t*>(data), size});
    };
    add(saved.pieces.head.data(), saved.pieces.head.size());
    for (const WorkbookModel::Span& s : saved.stream) add(s.data, s.size);
    add(saved.pieces.tail.data(), saved.pieces.tail.size());
    writeAtomically(path, std::move(parts));
}

std::vector<uint8_t> Workbook::toBytes(bool asTemplate) { return model_->toBytes(asTemplate); }

const std::string& Workbook::displayName() const { return model_->displayName; }
int Workbook::sheetCount() const { return int(model_->sheets.size()); }
int Workbook::activeSheetIndex() const { return model_->globals.activeSheet(); }

Sheet& Workbook::sheet(int index) {
    if (index < 0 || index >= sheetCount())
        throw Error(ErrorKind::Unsupported, model_->displayName,
                    "there is no sheet " + std::to_string(index + 1));
    return model_->handles[size_t(index)];
}

const Sheet& Workbook::sheet(int index) const { return const_cast<Workbook*>(this)->sheet(index); }

const Styles& Workbook::styles() const { return model_->globals.styles(); }

const std::vector<std::string>& Workbook::warnings() const { return model_->globals.warnings(); }

Workbook::RecordBytes Workbook::keptRecords(int index) const {
    sheet(index);  // throws when out of range
    const RecordList& records = model_->sheets[size_t(index)]->records();
    return {records.bytes(), records.byteSize()};
}

int Workbook::sheetOfReference(uint16_t ixti) const { return model_->globals.sheetOfXti(ixti); }

}  // namespace xls
