// Reading an OLE2 compound file: header, DIFAT, FAT, directory, mini stream. Every chain is
// checked against the file size and for loops, and no sector may belong to two chains, so a
// damaged file can neither hang the reader nor make it allocate more than the file holds. A
// stream's chain is followed only as far as its size needs: some writers leave it longer, and
// what lies past the size is never read.
#include <algorithm>
#include <cstring>

#include "xls/CompoundFile.h"
#include "xls/Error.h"
#include "xls/FastPaths.h"

namespace xls {

namespace {

constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
const uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

class Reader {
  public:
    // With `owned` given (the buffer `file` points into), the largest stream whose sectors
    // follow one another is moved to the front of that buffer, which becomes its data.
    // With `placed` given instead, only the stream `placedName` directly below the root may take
    // over that buffer, its bytes left where they lie; `placed` tells which entry it is and where
    // its bytes start. Every other stream is a copy, whichever is largest: the caller takes the
    // named stream out at once, and nothing else knows of an offset into its entry's data.
    Reader(const uint8_t* file, size_t size, const std::string& name, Bytes* owned = nullptr,
           CompoundFile::Placed* placed = nullptr, const std::u16string* placedName = nullptr)
        : file_(file), size_(size), name_(name), owned_(owned), placed_(placed),
          placedName_(placedName) {}

    std::vector<CompoundFile::Entry> read();

  private:
    [[noreturn]] void fail(const std::string& fault) const {
        throw Error(ErrorKind::Corrupt, name_, fault);
    }
    // Sector `id` (below numSectors_): read where it stands in the file, but for a last sector
    // the file cuts short, read from a copy padded with zeros.
    const uint8_t* sector(uint32_t id) const {
        return id == numSectors_ - 1 && !lastPadded_.empty()
                   ? lastPadded_.data()
                   : file_ + secSize_ + size_t(id) * secSize_;
    }
    void readHeader();
    void readFat();
    // The chain's sectors, valid until the next call (one list serves every chain).
    const std::vector<uint32_t>& chainOf(uint32_t start, std::vector<uint8_t>& used,
                                         const char* what, uint64_t maxCount = UINT64_MAX);
    Bytes gather(const std::vector<uint32_t>& ids, uint64_t size, const char* what) const;
    void readDirectory();
    void readMini();
    std::vector<CompoundFile::Entry> buildTree();
    void takeOverBuffer(std::vector<CompoundFile::Entry>& out);

    const uint8_t* file_;
    size_t size_;
    std::string name_;
    Bytes* owned_;
    CompoundFile::Placed* placed_;
    const std::u16string* placedName_;
    struct Deferred {
        size_t entry;
        uint32_t first;  // sector
        uint64_t size;
    };
    std::vector<Deferred> inPlace_;  // streams in consecutive sectors, read last
    Bytes lastPadded_;
    uint32_t secSize_ = 512;
    uint32_t numSectors_ = 0;
    int version_ = 3;
    uint32_t numFatSectors_ = 0, firstDir_ = 0, firstMiniFat_ = 0, numMiniFat_ = 0;
    uint32_t firstDifat_ = 0, numDifat_ = 0, cutoff_ = 4096;
    std::vector<uint32_t> fat_, miniFat_;
    std::vector<uint32_t> chain_;  // what chainOf() gives
    std::vector<uint8_t> used_, miniUsed_;
    Bytes dir_, miniStream_;
};

void Reader::readHeader() {
    if (size_ < 512 || !std::equal(kSignature, kSignature + 8, file_))
        fail("not a workbook (bad compound file signature)");
    const uint8_t* h = file_;
    uint16_t major = get16(h + 26);
    uint16_t shift = get16(h + 30);
    if (get16(h + 28) != 0xFFFE) fail("bad compound file byte order mark");
    if (!((major == 3 && shift == 9) || (major == 4 && shift == 12)))
        fail("unsupported compound file version or sector size");
    if (get16(h + 32) != 6) fail("bad compound file mini sector size");
    version_ = major;
    secSize_ = 1u << shift;
    numFatSectors_ = get32(h + 44);
    firstDir_ = get32(h + 48);
    cutoff_ = get32(h + 56);
    firstMiniFat_ = get32(h + 60);
    numMiniFat_ = get32(h + 64);
    firstDifat_ = get32(h + 68);
    numDifat_ = get32(h + 72);
    if (cutoff_ != 4096) fail("bad compound file mini stream cutoff");
    if (size_ <= secSize_) fail("compound file has no sectors");
    size_t body = size_ - secSize_;
    numSectors_ = uint32_t(std::min<size_t>((body + secSize_ - 1) / secSize_, 0x7FFFFFFF));
    if (size_t cut = body % secSize_; cut != 0 && body / secSize_ < 0x7FFFFFFF) {
        lastPadded_.assign(secSize_, 0);
        std::copy(file_ + size_ - cut, file_ + size_, lastPadded_.begin());
    }
    used_.assign(numSectors_, 0);
}

void Reader::readFat() {
    if (numFatSectors_ > numSectors_) fail("FAT larger than the file");
    std::vector<uint32_t> fatSectors;
    const uint8_t* h = file_;
    for (int i = 0; i < 109 && fatSectors.size() < numFatSectors_; ++i) {
        uint32_t id = get32(h + 76 + 4 * i);
        if (id == kFreeSector) break;
        fatSectors.push_back(id);
    }
    uint32_t difat = firstDifat_;
    uint32_t perDifat = secSize_ / 4 - 1;
    for (uint32_t n = 0;
         fatSectors.size() < numFatSectors_ && difat != kEndOfChain && difat != kFreeSector; ++n) {
        if (n >= numDifat_ || difat >= numSectors_ || used_[difat]) fail("bad DIFAT sector chain");
        used_[difat] = 1;
        const uint8_t* s = sector(difat);
        for (uint32_t i = 0; i < perDifat && fatSectors.size() < numFatSectors_; ++i) {
            uint32_t id = get32(s + 4 * i);
            if (id != kFreeSector) fatSectors.push_back(id);
        }
        difat = get32(s + 4 * perDifat);
    }
    if (fatSectors.size() != numFatSectors_) fail("FAT sector list is incomplete");
    const size_t perSector = secSize_ / 4;
    fat_.resize(size_t(numFatSectors_) * perSector);
    uint32_t* to = fat_.data();
    for (uint32_t id : fatSectors) {
        if (id >= numSectors_ || used_[id]) fail("FAT sector outside the file");
        used_[id] = 1;
        const uint8_t* s = sector(id);
        for (size_t i = 0; i < perSector; ++i) to[i] = get32(s + 4 * i);
        to += perSector;
    }
}

// Follows a chain through `table` for at most `maxCount` sectors, marking each sector in `used`;
// a sector seen twice (a loop, or a sector shared with another chain) or past the end is a fault.
void followChain(uint32_t start, const std::vector<uint32_t>& table, std::vector<uint8_t>& used,
                 uint64_t maxCount, bool& bad, std::vector<uint32_t>& ids) {
    ids.clear();
    // A stream's chain is as long as its size says, and no longer than the table.
    if (maxCount != UINT64_MAX) ids.reserve(size_t(std::min<uint64_t>(maxCount, table.size())));
    uint32_t id = start;
    while (id != kEndOfChain && ids.size() < maxCount) {
        if (id >= table.size() || id >= used.size() || used[id]) {
            bad = true;
            return;
        }
        used[id] = 1;
        ids.push_back(id);
        id = table[id];
    }
}

const std::vector<uint32_t>& Reader::chainOf(uint32_t start, std::vector<uint8_t>& used,
                                             const char* what, uint64_t maxCount) {
    bool bad = false;
    followChain(start, &used == &miniUsed_ ? miniFat_ : fat_, used, maxCount, bad, chain_);
    if (bad) fail(std::string("bad sector chain of ") + what);
    return chain_;
}

Bytes Reader::gather(const std::vector<uint32_t>& ids, uint64_t size, const char* what) const {
    if (size > uint64_t(ids.size()) * secSize_)
        fail(std::string(what) + " is longer than its sectors");
    Bytes out(static_cast<size_t>(size));
    // Fast path: runs of consecutive sectors (the usual layout) are copied in one go; the same
    // bytes as one sector after the other.
    size_t done = 0;
    for (size_t k = 0; k < ids.size() && done < size;) {
        size_t run = 1;
        while (kFastPaths && k + run < ids.size() && ids[k + run] == ids[k] + run &&
               ids[k + run] != numSectors_ - 1)
            ++run;
        if (ids[k] == numSectors_ - 1) run = 1;
        size_t n = std::min<uint64_t>(uint64_t(run) * secSize_, size - done);
        std::memcpy(out.data() + done, sector(ids[k]), n);
        done += n;
        k += run;
    }
    return out;
}

void Reader::readDirectory() {
    const auto& ids = chainOf(firstDir_, used_, "the directory");
    if (ids.empty()) fail("compound file has no directory");
    dir_ = gather(ids, uint64_t(ids.size()) * secSize_, "directory");
}

void Reader::readMini() {
    const uint8_t* root = dir_.data();
    if (root[66] != uint8_t(CompoundFile::Type::Root))
        fail("first directory entry is not the root");
    uint32_t start = get32(root + 116);
    uint64_t size = get32(root + 120);
    if (start == kEndOfChain || size == 0) return;
    const auto& ids = chainOf(start, used_, "the mini stream", (size + secSize_ - 1) / secSize_);
    miniStream_ = gather(ids, size, "mini stream");
    if (numMiniFat_ > numSectors_) fail("mini FAT larger than the file");
    const auto& miniIds = chainOf(firstMiniFat_, used_, "the mini FAT");
    const size_t perSector = secSize_ / 4;
    miniFat_.resize(miniIds.size() * perSector);
    uint32_t* to = miniFat_.data();
    for (uint32_t id : miniIds) {
        const uint8_t* s = sector(id);
        for (size_t i = 0; i < perSector; ++i) to[i] = get32(s + 4 * i);
        to += perSector;
    }
    miniUsed_.assign(std::min<size_t>(miniFat_.size(), miniStream_.size() / 64 + 1), 0);
}

std::vector<CompoundFile::Entry> Reader::buildTree() {
    size_t count = dir_.size() / 128;
    std::vector<CompoundFile::Entry> out;
    out.reserve(std::min<size_t>(count, 64));  // a workbook's few entries in one allocation
    std::vector<uint8_t> seen(count, 0);
    // Map from directory id to output index, filled as entries are visited.
    struct Pending {
        uint32_t dirId;
        size_t parent;
    };
    auto makeEntry = [&](uint32_t id, size_t index) {
        const uint8_t* e = dir_.data() + size_t(id) * 128;
        CompoundFile::Entry entry;
        uint16_t nameLen = get16(e + 64);
        if (nameLen > 64 || nameLen % 2) fail("bad directory entry name");
        // The name's characters without its terminating zero, made in one piece.
        char16_t name[32];
        const size_t length = nameLen >= 2 ? nameLen / 2 - 1 : 0;
        for (size_t k = 0; k < length; ++k) name[k] = char16_t(get16(e + 2 * k));
        entry.name.assign(name, length);
        uint8_t type = e[66];
        if (type != 1 && type != 2 && type != 5) fail("bad directory entry type");
        entry.type = CompoundFile::Type(type);
        std::copy(e + 80, e + 96, entry.clsid.begin());
        entry.stateBits = get32(e + 96);
        std::copy(e + 100, e + 116, entry.times.begin());
        if (entry.type == CompoundFile::Type::Stream) {
            uint32_t start = get32(e + 116);
            uint64_t size = get32(e + 120);
            if (version_ == 4) size |= uint64_t(get32(e + 124)) << 32;
            if (size >= cutoff_) {
                const auto& ids =
                    chainOf(start, used_, "a stream", (size + secSize_ - 1) / secSize_);
                // Fast path: a stream in consecutive sectors is copied in one piece, or takes
                // over the file's buffer; the same bytes as gather() gives.
                bool consecutive = kFastPaths && owned_ && !ids.empty() &&
                                   size <= uint64_t(ids.size()) * secSize_ &&
                                   secSize_ + uint64_t(ids[0]) * secSize_ + size <= size_;
                for (size_t k = 1; consecutive && k < ids.size(); ++k)
                    consecutive = ids[k] == ids[0] + k;
                if (consecutive)
                    inPlace_.push_back({index, ids[0], size});
                else
                    entry.data = gather(ids, size, "a stream");
            } else if (size > 0) {
                const auto& ids = chainOf(start, miniUsed_, "a mini stream", (size + 63) / 64);
                if (size > uint64_t(ids.size()) * 64)
                    fail("a mini stream is longer than its sectors");
                entry.data.reserve(size_t(size));  // below the cutoff, 4 KB
                for (uint32_t id : ids) {
                    size_t off = size_t(id) * 64;
                    size_t n = std::min<uint64_t>(64, size - entry.data.size());
                    if (off + n > miniStream_.size())
                        fail("a mini stream runs past the mini stream");
                    entry.data.insert(entry.data.end(), miniStream_.begin() + off,
                                      miniStream_.begin() + off + n);
                    if (entry.data.size() == size) break;
                }
            }
        }
        return entry;
    };
    seen[0] = 1;
    out.push_back(makeEntry(0, 0));
    out[0].type = CompoundFile::Type::Root;
    std::vector<Pending> stack;
    stack.reserve(16);
    uint32_t rootChild = get32(dir_.data() + 76);
    if (rootChild != kNoStream) stack.push_back({rootChild, 0});
    while (!stack.empty()) {
        Pending p = stack.back();
        stack.pop_back();
        if (p.dirId >= count || seen[p.dirId]) fail("bad directory tree");
        seen[p.dirId] = 1;
        const uint8_t* e = dir_.data() + size_t(p.dirId) * 128;
        size_t index = out.size();
        out.push_back(makeEntry(p.dirId, index));
        if (out.back().type == CompoundFile::Type::Root) fail("bad directory tree");
        std::vector<size_t>& children = out[p.parent].children;
        if (children.empty()) children.reserve(4);  // a workbook's root holds a few streams
        children.push_back(index);
        for (uint32_t sib : {get32(e + 68), get32(e + 72)})
            if (sib != kNoStream) stack.push_back({sib, p.parent});
        uint32_t child = get32(e + 76);
        if (out.back().type == CompoundFile::Type::Storage && child != kNoStream)
            stack.push_back({child, index});
    }
    for (auto& entry : out) {
        std::sort(entry.children.begin(), entry.children.end(), [&](size_t a, size_t b) {
            return CompoundFile::nameLess(out[a].name, out[b].name);
        });
    }
    takeOverBuffer(out);
    return out;
}

// Streams in consecutive sectors are copied in one piece each, but for the one that takes over
// the file's own buffer: the largest (moved to the buffer's front), or with `placed_` the stream
// named `placedName_` below the root (left where it lies).
void Reader::takeOverBuffer(std::vector<CompoundFile::Entry>& out) {
    size_t taker = SIZE_MAX;
    if (placed_) {
        for (size_t k = 0; k < inPlace_.size(); ++k) {
            const size_t e = inPlace_[k].entry;
            if (std::find(out[0].children.begin(), out[0].children.end(), e) !=
                    out[0].children.end() &&
                out[e].name.size() == placedName_->size() &&
                !CompoundFile::nameLess(out[e].name, *placedName_) &&
                !CompoundFile::nameLess(*placedName_, out[e].name))
                taker = k;
        }
    } else if (!inPlace_.empty()) {
        taker = size_t(std::max_element(inPlace_.begin(), inPlace_.end(),
                                        [](const Deferred& a, const Deferred& b) {
                                            return a.size < b.size;
                                        }) -
                       inPlace_.begin());
    }
    for (size_t k = 0; k < inPlace_.size(); ++k) {
        const Deferred& d = inPlace_[k];
        const uint8_t* from = file_ + secSize_ + size_t(d.first) * secSize_;
        if (k != taker) out[d.entry].data.assign(from, from + d.size);
    }
    if (taker == SIZE_MAX) return;
    const Deferred& d = inPlace_[taker];
    const size_t at = size_t(secSize_ + size_t(d.first) * secSize_);
    if (placed_) {
        *placed_ = {d.entry, at};
        owned_->resize(at + size_t(d.size));
    } else {
        std::memmove(owned_->data(), owned_->data() + at, size_t(d.size));
        owned_->resize(size_t(d.size));
    }
    out[d.entry].data = std::move(*owned_);
}

std::vector<CompoundFile::Entry> Reader::read() {
    readHeader();
    readFat();
    readDirectory();
    readMini();
    return buildTree();
}

}  // namespace

CompoundFile CompoundFile::parse(const Bytes& bytes, const std::string& displayName) {
    return parse(bytes.data(), bytes.size(), displayName);
}

CompoundFile CompoundFile::parse(const uint8_t* bytes, size_t size,
                                 const std::string& displayName) {
    CompoundFile cf{Unfilled{}};
    cf.entries_ = Reader(bytes, size, displayName).read();
    return cf;
}

CompoundFile CompoundFile::parse(Bytes&& bytes, const std::string& displayName) {
    CompoundFile cf{Unfilled{}};
    cf.entries_ = Reader(bytes.data(), bytes.size(), displayName, &bytes).read();
    return cf;
}

CompoundFile CompoundFile::parseForTaking(Bytes&& bytes, const std::string& displayName,
                                          const std::u16string& streamName) {
    CompoundFile cf{Unfilled{}};
    cf.entries_ =
        Reader(bytes.data(), bytes.size(), displayName, &bytes, &cf.placed_, &streamName).read();
    return cf;
}

}  // namespace xls
