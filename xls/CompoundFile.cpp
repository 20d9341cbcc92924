// Writing a version 3 compound file. Layout: the stream given apart (if any), FAT sectors, DIFAT
// sectors, directory, mini FAT, mini stream container, then the large streams, each chain
// contiguous.
#include "xls/CompoundFile.h"

#include <algorithm>

#include "xls/CompoundFileFormat.h"

namespace xls {

namespace {

using cfb::kDifatSector;
using cfb::kEndOfChain;
using cfb::kFatSector;
using cfb::kFreeSector;
using cfb::kNoStream;
constexpr size_t kSector = cfb::kSectorSize3;  // the writer writes version 3
constexpr size_t kCutoff = cfb::kMiniStreamCutoff;
constexpr size_t kMiniSector = cfb::kMiniSectorSize;
// Sector numbers in a sector: of the FAT, the mini FAT, or a DIFAT sector (its last one names
// the next DIFAT sector).
constexpr size_t kPerSector = kSector / cfb::kSectorNumberSize;
constexpr size_t kInHeader = cfb::header::kDifatEntries;  // FAT sector numbers in the header
constexpr size_t kNone = size_t(-1);

char16_t upper(char16_t c) {
    if (c >= u'a' && c <= u'z') return char16_t(c - 32);
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return char16_t(c - 32);
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return char16_t(c - 32);
    if (c >= 0x430 && c <= 0x44F) return char16_t(c - 32);
    return c;
}

size_t sectorsFor(size_t bytes, size_t unit) { return (bytes + unit - 1) / unit; }

}  // namespace

CompoundFile::CompoundFile() {
    Entry& root = entries_.emplace_back();
    root.name = u"Root Entry";
    root.type = Type::Root;
}

bool CompoundFile::nameLess(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = upper(a[i]), y = upper(b[i]);
        if (x != y) return x < y;
    }
    return false;
}

int CompoundFile::findInRoot(const std::u16string& name) const {
    for (size_t child : entries_[0].children) {
        const auto& n = entries_[child].name;
        if (n.size() == name.size() && !nameLess(n, name) && !nameLess(name, n)) return int(child);
    }
    return -1;
}

void CompoundFile::settle() {
    if (leftInPlace_.entry >= entries_.size()) return;
    Bytes& data = entries_[leftInPlace_.entry].data;
    const size_t at = std::min(leftInPlace_.at, data.size());
    data.erase(data.begin(), data.begin() + std::ptrdiff_t(at));
    leftInPlace_ = LeftInPlace{};
}

Bytes CompoundFile::takeStream(size_t index, size_t* at) {
    *at = index == leftInPlace_.entry ? leftInPlace_.at : 0;
    if (index == leftInPlace_.entry) leftInPlace_ = LeftInPlace{};
    return std::move(entries_[index].data);
}

size_t CompoundFile::putStream(const std::u16string& name, Bytes data) {
    settle();
    int found = findInRoot(name);
    if (found >= 0) {
        entries_[size_t(found)].data = std::move(data);
        return size_t(found);
    }
    Entry e;
    e.name = name;
    e.type = Type::Stream;
    e.data = std::move(data);
    entries_.push_back(std::move(e));
    size_t index = entries_.size() - 1;
    auto& kids = entries_[0].children;
    kids.insert(std::upper_bound(kids.begin(), kids.end(), index,
                                 [&](size_t a, size_t b) {
                                     return nameLess(entries_[a].name, entries_[b].name);
                                 }),
                index);
    return index;
}

bool CompoundFile::removeStreamFromRoot(const std::u16string& name) {
    int found = findInRoot(name);
    if (found < 0 || entries_[size_t(found)].type != Type::Stream) return false;
    settle();  // before the indices move
    size_t gone = size_t(found);
    entries_.erase(entries_.begin() + std::ptrdiff_t(gone));
    for (Entry& e : entries_) {
        e.children.erase(std::remove(e.children.begin(), e.children.end(), gone), e.children.end());
        for (size_t& child : e.children)
            if (child > gone) --child;
    }
    return true;
}

Bytes CompoundFile::serialize() const {
    Pieces p = serializeAround(kNone, 0);
    p.head.insert(p.head.end(), p.tail.begin(), p.tail.end());
    return std::move(p.head);
}

namespace {

using Entries = std::vector<CompoundFile::Entry>;

// Where an entry goes, and its place in its storage's tree of children.
struct Node {
    uint32_t start = kEndOfChain;  // its first sector, or first mini sector
    uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
    uint8_t color = cfb::entry::kBlack;
    uint8_t depth = 0;  // below the root of its storage's tree
};

// The file's sectors, in this order: the stream given apart (if any), FAT, DIFAT, directory,
// mini FAT, mini stream container, then the other large streams in entry order. A part of no
// sectors starts at kEndOfChain.
struct Plan {
    size_t first = kNone, firstSize = 0;  // the stream given apart, whose bytes the caller holds
    size_t miniSectorCount = 0;           // mini sectors of the mini stream
    size_t apartSectors = 0, fatSectors = 0, difatSectors = 0, dirSectors = 0, miniFatSectors = 0,
           miniSectors = 0, total = 0;
    uint32_t fatStart = 0, difatStart = 0, dirStart = 0, miniFatStart = 0, miniStart = 0;
    bool apart() const { return first != kNone && firstSize >= kCutoff; }
    size_t sizeOf(const Entries& entries, size_t i) const {
        return i == first ? firstSize : entries[i].data.size();
    }
    // The streams in the mini stream, and the large ones other than the one given apart.
    bool inMini(const Entries& entries, size_t i) const {
        const CompoundFile::Entry& e = entries[i];
        return i > 0 && e.type == CompoundFile::Type::Stream && i != first && !e.data.empty() &&
               e.data.size() < kCutoff;
    }
    bool large(const Entries& entries, size_t i) const {
        const CompoundFile::Entry& e = entries[i];
        return i > 0 && e.type == CompoundFile::Type::Stream && i != first &&
               e.data.size() >= kCutoff;
    }
};

// Gives each small stream its first mini sector, one stream after the other.
void packMiniStream(const Entries& entries, Plan& plan, std::vector<Node>& nodes) {
    for (size_t i = 1; i < entries.size(); ++i) {
        if (!plan.inMini(entries, i)) continue;
        nodes[i].start = uint32_t(plan.miniSectorCount);
        plan.miniSectorCount += sectorsFor(entries[i].data.size(), kMiniSector);
    }
}

// Counts the sectors of each part (the FAT and DIFAT must cover themselves too) and gives each
// part and each large stream its first sector.
void planSectors(const Entries& entries, Plan& plan, std::vector<Node>& nodes) {
    plan.dirSectors = sectorsFor(entries.size() * cfb::entry::kBytes, kSector);
    plan.miniFatSectors = sectorsFor(plan.miniSectorCount, kPerSector);
    plan.miniSectors = sectorsFor(plan.miniSectorCount * kMiniSector, kSector);
    size_t dataSectors = plan.dirSectors + plan.miniFatSectors + plan.miniSectors;
    if (plan.apart()) dataSectors += sectorsFor(plan.firstSize, kSector);
    for (size_t i = 1; i < entries.size(); ++i)
        if (plan.large(entries, i)) dataSectors += sectorsFor(entries[i].data.size(), kSector);
    for (;;) {
        size_t total = dataSectors + plan.fatSectors + plan.difatSectors;
        size_t needFat = sectorsFor(total, kPerSector);
        size_t needDifat =
            needFat > kInHeader ? sectorsFor(needFat - kInHeader, kPerSector - 1) : 0;
        if (needFat == plan.fatSectors && needDifat == plan.difatSectors) break;
        plan.fatSectors = needFat;
        plan.difatSectors = needDifat;
    }
    plan.total = dataSectors + plan.fatSectors + plan.difatSectors;
    uint32_t next = 0;
    auto allocate = [&](size_t count) {
        uint32_t first = next;
        next += uint32_t(count);
        return count ? first : kEndOfChain;
    };
    if (plan.apart()) nodes[plan.first].start = allocate(sectorsFor(plan.firstSize, kSector));
    plan.apartSectors = next;
    plan.fatStart = allocate(plan.fatSectors);
    plan.difatStart = allocate(plan.difatSectors);
    plan.dirStart = allocate(plan.dirSectors);
    plan.miniFatStart = allocate(plan.miniFatSectors);
    plan.miniStart = allocate(plan.miniSectors);
    for (size_t i = 1; i < entries.size(); ++i)
        if (plan.large(entries, i))
            nodes[i].start = allocate(sectorsFor(entries[i].data.size(), kSector));
}

// A balanced binary tree of kids[lo, hi) in name order; gives its root.
uint32_t buildTree(const std::vector<size_t>& kids, size_t lo, size_t hi, uint8_t depth,
                   std::vector<Node>& nodes, uint8_t& maxDepth) {
    if (lo >= hi) return kNoStream;
    const size_t mid = (lo + hi) / 2;
    nodes[kids[mid]].depth = depth;
    maxDepth = std::max(maxDepth, depth);
    const uint32_t left = buildTree(kids, lo, mid, uint8_t(depth + 1), nodes, maxDepth);
    const uint32_t right = buildTree(kids, mid + 1, hi, uint8_t(depth + 1), nodes, maxDepth);
    nodes[kids[mid]].left = left;
    nodes[kids[mid]].right = right;
    return uint32_t(kids[mid]);
}

// Each storage's children form a balanced binary tree in name order, coloured so that it is a
// valid red-black tree (the deepest level red, the rest black).
void planTrees(const Entries& entries, std::vector<Node>& nodes) {
    for (size_t p = 0; p < entries.size(); ++p) {
        const auto& kids = entries[p].children;
        if (kids.empty()) continue;
        uint8_t maxDepth = 0;
        nodes[p].child = buildTree(kids, 0, kids.size(), 0, nodes, maxDepth);
        for (size_t kid : kids)
            nodes[kid].color = maxDepth > 0 && nodes[kid].depth == maxDepth ? cfb::entry::kRed
                                                                            : cfb::entry::kBlack;
    }
}

// The directory entries (the high half of version 4's stream size left zero). Unused entries
// have no siblings or child.
void writeDirectory(const Entries& entries, const Plan& plan, const std::vector<Node>& nodes,
                    uint8_t* dir) {
    namespace ent = cfb::entry;
    for (size_t i = 0; i < plan.dirSectors * kSector / ent::kBytes; ++i) {
        uint8_t* e = dir + ent::kBytes * i;
        if (i >= entries.size()) {
            set32(e + ent::kLeft, kNoStream);
            set32(e + ent::kRight, kNoStream);
            set32(e + ent::kChild, kNoStream);
            continue;
        }
        const CompoundFile::Entry& en = entries[i];
        const Node& node = nodes[i];
        size_t len = std::min<size_t>(en.name.size(), ent::kMaxNameChars);
        for (size_t k = 0; k < len; ++k) set16(e + ent::kName + 2 * k, en.name[k]);
        set16(e + ent::kNameLength, uint16_t(2 * (len + 1)));
        e[ent::kType] = uint8_t(en.type);
        e[ent::kColour] = node.color;
        set32(e + ent::kLeft, node.left);
        set32(e + ent::kRight, node.right);
        set32(e + ent::kChild, node.child);
        std::copy(en.clsid.begin(), en.clsid.end(), e + ent::kClsid);
        set32(e + ent::kStateBits, en.stateBits);
        std::copy(en.times.begin(), en.times.end(), e + ent::kTimes);
        if (en.type == CompoundFile::Type::Root) {
            set32(e + ent::kStart, plan.miniStart);
            set32(e + ent::kSize, uint32_t(plan.miniSectorCount * kMiniSector));
        } else if (en.type == CompoundFile::Type::Stream) {
            set32(e + ent::kStart, node.start);
            set32(e + ent::kSize, uint32_t(plan.sizeOf(entries, i)));
        }
    }
}

// The FAT: every part's chain, in the order planSectors leftInPlace them; the rest free. The mini
// FAT the same for the mini stream's streams.
void writeFat(const Entries& entries, const Plan& plan, uint8_t* fat, uint8_t* miniFat) {
    static_assert(kFreeSector == 0xFFFFFFFF, "a free sector's number is all one bytes");
    std::fill(fat, fat + plan.fatSectors * kSector, uint8_t(0xFF));
    uint32_t next = 0;
    auto chain = [&](size_t count, uint32_t mark) {
        for (size_t k = 0; k < count; ++k, ++next)
            set32(fat + cfb::kSectorNumberSize * next,
                  mark != 0 ? mark : (k + 1 < count ? next + 1 : kEndOfChain));
    };
    if (plan.apart()) chain(sectorsFor(plan.firstSize, kSector), 0);
    chain(plan.fatSectors, kFatSector);
    chain(plan.difatSectors, kDifatSector);
    chain(plan.dirSectors, 0);
    chain(plan.miniFatSectors, 0);
    chain(plan.miniSectors, 0);
    for (size_t i = 1; i < entries.size(); ++i)
        if (plan.large(entries, i)) chain(sectorsFor(entries[i].data.size(), kSector), 0);
    if (plan.miniFatSectors == 0) return;
    std::fill(miniFat, miniFat + plan.miniFatSectors * kSector, uint8_t(0xFF));  // free
    uint32_t at = 0;
    for (size_t i = 1; i < entries.size(); ++i) {
        if (!plan.inMini(entries, i)) continue;
        const size_t count = sectorsFor(entries[i].data.size(), kMiniSector);
        for (size_t k = 0; k < count; ++k, ++at)
            set32(miniFat + cfb::kSectorNumberSize * at, k + 1 < count ? at + 1 : kEndOfChain);
    }
}

// The header, with the first FAT sector numbers; the DIFAT sectors (at `difat`, one after the
// other) hold the rest, each ending with the next one's number.
void writeHeader(const Plan& plan, uint8_t* h, uint8_t* difat) {
    namespace hdr = cfb::header;
    constexpr size_t kNumber = cfb::kSectorNumberSize;
    std::copy(cfb::kSignature, cfb::kSignature + cfb::kSignatureSize, h + hdr::kSignature);
    set16(h + hdr::kMinorVersion, cfb::kMinorVersion);
    set16(h + hdr::kMajorVersion, cfb::kVersion3);
    set16(h + hdr::kByteOrder, cfb::kByteOrderMark);
    set16(h + hdr::kSectorShift, cfb::kSectorShift3);
    set16(h + hdr::kMiniSectorShift, cfb::kMiniSectorShift);
    set32(h + hdr::kFatCount, uint32_t(plan.fatSectors));
    set32(h + hdr::kFirstDir, plan.dirStart);
    set32(h + hdr::kMiniStreamCutoff, uint32_t(kCutoff));
    set32(h + hdr::kFirstMiniFat, plan.miniFatSectors ? plan.miniFatStart : kEndOfChain);
    set32(h + hdr::kMiniFatCount, uint32_t(plan.miniFatSectors));
    set32(h + hdr::kFirstDifat, plan.difatSectors ? plan.difatStart : kEndOfChain);
    set32(h + hdr::kDifatCount, uint32_t(plan.difatSectors));
    auto fatSector = [&](size_t k) {
        return k < plan.fatSectors ? plan.fatStart + uint32_t(k) : kFreeSector;
    };
    for (size_t k = 0; k < kInHeader; ++k) set32(h + hdr::kDifat + kNumber * k, fatSector(k));
    const size_t perDifat = kPerSector - 1;
    for (size_t d = 0; d < plan.difatSectors; ++d) {
        uint8_t* p = difat + kSector * d;
        for (size_t j = 0; j < perDifat; ++j)
            set32(p + kNumber * j, fatSector(kInHeader + d * perDifat + j));
        set32(p + kNumber * perDifat,
              d + 1 < plan.difatSectors ? plan.difatStart + uint32_t(d + 1) : kEndOfChain);
    }
}

}  // namespace

CompoundFile::Pieces CompoundFile::serializeAround(size_t first, size_t firstSize) const {
    Plan plan;
    plan.first = first;
    plan.firstSize = firstSize;
    std::vector<Node> nodes(entries_.size());
    packMiniStream(entries_, plan, nodes);
    planSectors(entries_, plan, nodes);
    planTrees(entries_, nodes);

    Pieces pieces;
    pieces.head.assign(kSector, 0);
    // The tail starts with the padding of the stream given apart to its last sector.
    const size_t pad = plan.apart() ? kSector * plan.apartSectors - firstSize : 0;
    Bytes& out = pieces.tail;
    out.assign(pad + kSector * (plan.total - plan.apartSectors), 0);
    auto sector = [&](uint32_t id) {
        return out.data() + pad + kSector * (id - plan.apartSectors);
    };
    writeDirectory(entries_, plan, nodes, sector(plan.dirStart));
    writeFat(entries_, plan, sector(plan.fatStart),
             plan.miniFatSectors ? sector(plan.miniFatStart) : nullptr);
    for (size_t i = 1; i < entries_.size(); ++i) {
        const Bytes& data = entries_[i].data;
        if (plan.inMini(entries_, i))
            std::copy(data.begin(), data.end(),
                      sector(plan.miniStart) + kMiniSector * nodes[i].start);
        else if (plan.large(entries_, i))
            std::copy(data.begin(), data.end(), sector(nodes[i].start));
    }
    writeHeader(plan, pieces.head.data(), plan.difatSectors ? sector(plan.difatStart) : nullptr);
    return pieces;
}

}  // namespace xls
