// Reading an OLE2 compound file: header, DIFAT, FAT, directory, mini stream. Every chain is
// checked against the file size and for loops, and no sector may belong to two chains, so a
// damaged file can neither hang the reader nor make it allocate more than the file holds. A
// stream's chain is followed only as far as its size needs: some writers leave it longer, and
// what lies past the size is never read.
#include <algorithm>
#include <cstring>

#include "xls/CompoundFile.h"
#include "xls/CompoundFileFormat.h"
#include "xls/Error.h"
#include "xls/FastPaths.h"

namespace xls {

namespace {

using cfb::kEndOfChain;
using cfb::kFreeSector;
using cfb::kNoStream;
namespace hdr = cfb::header;
namespace ent = cfb::entry;
constexpr size_t kMiniSector = cfb::kMiniSectorSize;
// The most sectors a file may have: their numbers stay below the special ones.
constexpr uint32_t kMostSectors = 0x7FFFFFFF;

class Reader {
  public:
    // With `owned` given (the buffer `file` points into), the largest stream whose sectors
    // follow one another is moved to the front of that buffer, which becomes its data.
    // With `leftInPlace` given instead, only the stream `leftInPlaceName` directly below the root
    // may take over that buffer, its bytes left where they lie; `leftInPlace` tells which entry it
    // is and where its bytes start. Every other stream is a copy, whichever is largest: the caller
    // takes the named stream out at once, and nothing else knows of an offset into its entry's
    // data.
    Reader(const uint8_t* file, size_t size, const std::string& name, Bytes* owned = nullptr,
           CompoundFile::LeftInPlace* leftInPlace = nullptr,
           const std::u16string* leftInPlaceName = nullptr)
        : file_(file),
          size_(size),
          name_(name),
          owned_(owned),
          leftInPlace_(leftInPlace),
          leftInPlaceName_(leftInPlaceName) {}

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
    CompoundFile::Entry readEntry(uint32_t id, size_t index);
    void readLargeStream(uint32_t start, uint64_t size, size_t index, CompoundFile::Entry& entry);
    void readMiniStream(uint32_t start, uint64_t size, CompoundFile::Entry& entry);
    std::vector<CompoundFile::Entry> buildTree();
    void takeOverBuffer(std::vector<CompoundFile::Entry>& out);

    const uint8_t* file_;
    size_t size_;
    std::string name_;
    Bytes* owned_;
    CompoundFile::LeftInPlace* leftInPlace_;
    const std::u16string* leftInPlaceName_;
    struct Deferred {
        size_t entry;
        uint32_t first;  // sector
        uint64_t size;
    };
    std::vector<Deferred> deferred_;  // streams in consecutive sectors, read last
    Bytes lastPadded_;
    uint32_t secSize_ = cfb::kSectorSize3;
    uint32_t numSectors_ = 0;
    int version_ = 3;
    uint32_t numFatSectors_ = 0, firstDir_ = 0, firstMiniFat_ = 0, numMiniFat_ = 0;
    uint32_t firstDifat_ = 0, numDifat_ = 0, cutoff_ = cfb::kMiniStreamCutoff;
    std::vector<uint32_t> fat_, miniFat_;
    std::vector<uint32_t> chain_;  // what chainOf() gives
    std::vector<uint8_t> used_, miniUsed_;
    Bytes dir_, miniStream_;
};

void Reader::readHeader() {
    if (size_ < hdr::kSize || !std::equal(cfb::kSignature, cfb::kSignature + cfb::kSignatureSize,
                                          file_ + hdr::kSignature))
        fail("not a workbook (bad compound file signature)");
    const uint8_t* h = file_;
    uint16_t major = get16(h + hdr::kMajorVersion);
    uint16_t shift = get16(h + hdr::kSectorShift);
    if (get16(h + hdr::kByteOrder) != cfb::kByteOrderMark)
        fail("bad compound file byte order mark");
    if (!((major == cfb::kVersion3 && shift == cfb::kSectorShift3) ||
          (major == cfb::kVersion4 && shift == cfb::kSectorShift4)))
        fail("unsupported compound file version or sector size");
    if (get16(h + hdr::kMiniSectorShift) != cfb::kMiniSectorShift)
        fail("bad compound file mini sector size");
    version_ = major;
    secSize_ = 1u << shift;
    numFatSectors_ = get32(h + hdr::kFatCount);
    firstDir_ = get32(h + hdr::kFirstDir);
    cutoff_ = get32(h + hdr::kMiniStreamCutoff);
    firstMiniFat_ = get32(h + hdr::kFirstMiniFat);
    numMiniFat_ = get32(h + hdr::kMiniFatCount);
    firstDifat_ = get32(h + hdr::kFirstDifat);
    numDifat_ = get32(h + hdr::kDifatCount);
    if (cutoff_ != cfb::kMiniStreamCutoff) fail("bad compound file mini stream cutoff");
    if (size_ <= secSize_) fail("compound file has no sectors");
    size_t body = size_ - secSize_;
    numSectors_ = uint32_t(std::min<size_t>((body + secSize_ - 1) / secSize_, kMostSectors));
    if (size_t cut = body % secSize_; cut != 0 && body / secSize_ < kMostSectors) {
        lastPadded_.assign(secSize_, 0);
        std::copy(file_ + size_ - cut, file_ + size_, lastPadded_.begin());
    }
    used_.assign(numSectors_, 0);
}

void Reader::readFat() {
    if (numFatSectors_ > numSectors_) fail("FAT larger than the file");
    std::vector<uint32_t> fatSectors;
    const uint8_t* h = file_;
    constexpr size_t kNumber = cfb::kSectorNumberSize;
    for (size_t i = 0; i < hdr::kDifatEntries && fatSectors.size() < numFatSectors_; ++i) {
        uint32_t id = get32(h + hdr::kDifat + kNumber * i);
        if (id == kFreeSector) break;
        fatSectors.push_back(id);
    }
    uint32_t difat = firstDifat_;
    uint32_t perDifat = secSize_ / kNumber - 1;  // the last number names the next DIFAT sector
    for (uint32_t n = 0;
         fatSectors.size() < numFatSectors_ && difat != kEndOfChain && difat != kFreeSector; ++n) {
        if (n >= numDifat_ || difat >= numSectors_ || used_[difat]) fail("bad DIFAT sector chain");
        used_[difat] = 1;
        const uint8_t* s = sector(difat);
        for (uint32_t i = 0; i < perDifat && fatSectors.size() < numFatSectors_; ++i) {
            uint32_t id = get32(s + kNumber * i);
            if (id != kFreeSector) fatSectors.push_back(id);
        }
        difat = get32(s + kNumber * perDifat);
    }
    if (fatSectors.size() != numFatSectors_) fail("FAT sector list is incomplete");
    const size_t perSector = secSize_ / kNumber;
    fat_.resize(size_t(numFatSectors_) * perSector);
    uint32_t* to = fat_.data();
    for (uint32_t id : fatSectors) {
        if (id >= numSectors_ || used_[id]) fail("FAT sector outside the file");
        used_[id] = 1;
        const uint8_t* s = sector(id);
        for (size_t i = 0; i < perSector; ++i) to[i] = get32(s + kNumber * i);
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
    if (root[ent::kType] != uint8_t(CompoundFile::Type::Root))
        fail("first directory entry is not the root");
    uint32_t start = get32(root + ent::kStart);
    uint64_t size = get32(root + ent::kSize);
    if (start == kEndOfChain || size == 0) return;
    const auto& ids = chainOf(start, used_, "the mini stream", (size + secSize_ - 1) / secSize_);
    miniStream_ = gather(ids, size, "mini stream");
    if (numMiniFat_ > numSectors_) fail("mini FAT larger than the file");
    const auto& miniIds = chainOf(firstMiniFat_, used_, "the mini FAT");
    constexpr size_t kNumber = cfb::kSectorNumberSize;
    const size_t perSector = secSize_ / kNumber;
    miniFat_.resize(miniIds.size() * perSector);
    uint32_t* to = miniFat_.data();
    for (uint32_t id : miniIds) {
        const uint8_t* s = sector(id);
        for (size_t i = 0; i < perSector; ++i) to[i] = get32(s + kNumber * i);
        to += perSector;
    }
    miniUsed_.assign(std::min<size_t>(miniFat_.size(), miniStream_.size() / kMiniSector + 1), 0);
}

// Directory entry `id`, which becomes entry `index` of the file; a large stream in consecutive
// sectors is read last (takeOverBuffer()).
CompoundFile::Entry Reader::readEntry(uint32_t id, size_t index) {
    const uint8_t* e = dir_.data() + size_t(id) * ent::kBytes;
    CompoundFile::Entry entry;
    uint16_t nameLen = get16(e + ent::kNameLength);
    if (nameLen > 2 * (ent::kMaxNameChars + 1) || nameLen % 2) fail("bad directory entry name");
    // The name's characters without its terminating zero, made in one piece.
    char16_t name[ent::kMaxNameChars + 1];
    const size_t length = nameLen >= 2 ? nameLen / 2 - 1 : 0;
    for (size_t k = 0; k < length; ++k) name[k] = char16_t(get16(e + ent::kName + 2 * k));
    entry.name.assign(name, length);
    uint8_t type = e[ent::kType];
    if (type != uint8_t(CompoundFile::Type::Storage) &&
        type != uint8_t(CompoundFile::Type::Stream) && type != uint8_t(CompoundFile::Type::Root))
        fail("bad directory entry type");
    entry.type = CompoundFile::Type(type);
    std::copy(e + ent::kClsid, e + ent::kClsid + ent::kClsidSize, entry.clsid.begin());
    entry.stateBits = get32(e + ent::kStateBits);
    std::copy(e + ent::kTimes, e + ent::kTimes + ent::kTimesSize, entry.times.begin());
    if (entry.type != CompoundFile::Type::Stream) return entry;
    const uint32_t start = get32(e + ent::kStart);
    uint64_t size = get32(e + ent::kSize);
    if (version_ == cfb::kVersion4) size |= uint64_t(get32(e + ent::kSizeHigh)) << 32;
    if (size >= cutoff_)
        readLargeStream(start, size, index, entry);
    else if (size > 0)
        readMiniStream(start, size, entry);
    return entry;
}

void Reader::readLargeStream(uint32_t start, uint64_t size, size_t index,
                             CompoundFile::Entry& entry) {
    const auto& ids = chainOf(start, used_, "a stream", (size + secSize_ - 1) / secSize_);
    // Fast path: a stream in consecutive sectors is copied in one piece, or takes over the
    // file's buffer; the same bytes as gather() gives.
    bool consecutive = kFastPaths && owned_ && !ids.empty() &&
                       size <= uint64_t(ids.size()) * secSize_ &&
                       secSize_ + uint64_t(ids[0]) * secSize_ + size <= size_;
    for (size_t k = 1; consecutive && k < ids.size(); ++k) consecutive = ids[k] == ids[0] + k;
    if (consecutive)
        deferred_.push_back({index, ids[0], size});
    else
        entry.data = gather(ids, size, "a stream");
}

void Reader::readMiniStream(uint32_t start, uint64_t size, CompoundFile::Entry& entry) {
    const auto& ids =
        chainOf(start, miniUsed_, "a mini stream", (size + kMiniSector - 1) / kMiniSector);
    if (size > uint64_t(ids.size()) * kMiniSector) fail("a mini stream is longer than its sectors");
    entry.data.reserve(size_t(size));  // below the cutoff
    for (uint32_t id : ids) {
        size_t off = size_t(id) * kMiniSector;
        size_t n = std::min<uint64_t>(kMiniSector, size - entry.data.size());
        if (off + n > miniStream_.size()) fail("a mini stream runs past the mini stream");
        entry.data.insert(entry.data.end(), miniStream_.begin() + off,
                          miniStream_.begin() + off + n);
        if (entry.data.size() == size) break;
    }
}

std::vector<CompoundFile::Entry> Reader::buildTree() {
    size_t count = dir_.size() / ent::kBytes;
    std::vector<CompoundFile::Entry> out;
    out.reserve(std::min<size_t>(count, 64));  // a workbook's few entries in one allocation
    std::vector<uint8_t> seen(count, 0);
    // Entries still to visit: a directory id, and the output index of its storage.
    struct Pending {
        uint32_t dirId;
        size_t parent;
    };
    seen[0] = 1;
    out.push_back(readEntry(0, 0));
    out[0].type = CompoundFile::Type::Root;
    std::vector<Pending> stack;
    stack.reserve(16);
    uint32_t rootChild = get32(dir_.data() + ent::kChild);
    if (rootChild != kNoStream) stack.push_back({rootChild, 0});
    while (!stack.empty()) {
        Pending p = stack.back();
        stack.pop_back();
        if (p.dirId >= count || seen[p.dirId]) fail("bad directory tree");
        seen[p.dirId] = 1;
        const uint8_t* e = dir_.data() + size_t(p.dirId) * ent::kBytes;
        size_t index = out.size();
        out.push_back(readEntry(p.dirId, index));
        if (out.back().type == CompoundFile::Type::Root) fail("bad directory tree");
        std::vector<size_t>& children = out[p.parent].children;
        if (children.empty()) children.reserve(4);  // a workbook's root holds a few streams
        children.push_back(index);
        for (uint32_t sib : {get32(e + ent::kLeft), get32(e + ent::kRight)})
            if (sib != kNoStream) stack.push_back({sib, p.parent});
        uint32_t child = get32(e + ent::kChild);
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
// the file's own buffer: the largest (moved to the buffer's front), or with `leftInPlace_` the
// stream named `leftInPlaceName_` below the root (left where it lies).
void Reader::takeOverBuffer(std::vector<CompoundFile::Entry>& out) {
    size_t taker = SIZE_MAX;
    if (leftInPlace_) {
        for (size_t k = 0; k < deferred_.size(); ++k) {
            const size_t e = deferred_[k].entry;
            if (std::find(out[0].children.begin(), out[0].children.end(), e) !=
                    out[0].children.end() &&
                out[e].name.size() == leftInPlaceName_->size() &&
                !CompoundFile::nameLess(out[e].name, *leftInPlaceName_) &&
                !CompoundFile::nameLess(*leftInPlaceName_, out[e].name))
                taker = k;
        }
    } else if (!deferred_.empty()) {
        taker = size_t(
            std::max_element(deferred_.begin(), deferred_.end(),
                             [](const Deferred& a, const Deferred& b) { return a.size < b.size; }) -
            deferred_.begin());
    }
    for (size_t k = 0; k < deferred_.size(); ++k) {
        const Deferred& d = deferred_[k];
        const uint8_t* from = file_ + secSize_ + size_t(d.first) * secSize_;
        if (k != taker) out[d.entry].data.assign(from, from + d.size);
    }
    if (taker == SIZE_MAX) return;
    const Deferred& d = deferred_[taker];
    const size_t at = size_t(secSize_ + size_t(d.first) * secSize_);
    if (leftInPlace_) {
        *leftInPlace_ = {d.entry, at};
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
        Reader(bytes.data(), bytes.size(), displayName, &bytes, &cf.leftInPlace_, &streamName)
            .read();
    return cf;
}

}  // namespace xls
