// Writing a version 3 compound file. Layout: the stream given apart (if any), FAT sectors, DIFAT
// sectors, directory, mini FAT, mini stream container, then the large streams, each chain
// contiguous.
#include "xls/CompoundFile.h"

#include <algorithm>

namespace xls {

namespace {

constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kFatSector = 0xFFFFFFFD;
constexpr uint32_t kDifatSector = 0xFFFFFFFC;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr size_t kSector = 512;
constexpr size_t kCutoff = 4096;
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
    if (placed_.entry >= entries_.size()) return;
    Bytes& data = entries_[placed_.entry].data;
    const size_t at = std::min(placed_.at, data.size());
    data.erase(data.begin(), data.begin() + std::ptrdiff_t(at));
    placed_ = Placed{};
}

Bytes CompoundFile::takeStream(size_t index, size_t* at) {
    *at = index == placed_.entry ? placed_.at : 0;
    if (index == placed_.entry) placed_ = Placed{};
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
    uint8_t color = 1;  // 0 red, 1 black
    uint8_t depth = 0;  // below the root of its storage's tree
};

// The file's sectors, in this order: the stream given apart (if any), FAT, DIFAT, directory,
// mini FAT, mini stream container, then the other large streams in entry order. A part of no
// sectors starts at kEndOfChain.
struct Plan {
    size_t first = kNone, firstSize = 0;  // the stream given apart, whose bytes the caller holds
    size_t miniSectorCount = 0;           // 64-byte mini sectors of the mini stream
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
        plan.miniSectorCount += sectorsFor(entries[i].data.size(), 64);
    }
}

// Counts the sectors of each part (the FAT and DIFAT must cover themselves too) and gives each
// part and each large stream its first sector.
void planSectors(const Entries& entries, Plan& plan, std::vector<Node>& nodes) {
    plan.dirSectors = sectorsFor(entries.size() * 128, kSector);
    plan.miniFatSectors = sectorsFor(plan.miniSectorCount * 4, kSector);
    plan.miniSectors = sectorsFor(plan.miniSectorCount * 64, kSector);
    size_t dataSectors = plan.dirSectors + plan.miniFatSectors + plan.miniSectors;
    if (plan.apart()) dataSectors += sectorsFor(plan.firstSize, kSector);
    for (size_t i = 1; i < entries.size(); ++i)
        if (plan.large(entries, i)) dataSectors += sectorsFor(entries[i].data.size(), kSector);
    for (;;) {
        size_t total = dataSectors + plan.fatSectors + plan.difatSectors;
        size_t needFat = sectorsFor(total, kSector / 4);
        size_t needDifat = needFat > 109 ? sectorsFor(needFat - 109, kSector / 4 - 1) : 0;
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
            nodes[kid].color = maxDepth > 0 && nodes[kid].depth == maxDepth ? 0 : 1;
    }
}

// Directory entry, 128 bytes: name u16[32] | nameBytes u16 | type u8 | colour u8 | left, right,
// child u32 | clsid[16] | stateBits u32 | created, modified FILETIME | start sector u32 |
// size u32 (the high half of version 4's u64 left zero). Unused entries have no siblings or
// child.
void writeDirectory(const Entries& entries, const Plan& plan, const std::vector<Node>& nodes,
                    uint8_t* dir) {
    for (size_t i = 0; i < plan.dirSectors * 4; ++i) {
        uint8_t* e = dir + 128 * i;
        if (i >= entries.size()) {
            set32(e + 68, kNoStream);
            set32(e + 72, kNoStream);
            set32(e + 76, kNoStream);
            continue;
        }
        const CompoundFile::Entry& en = entries[i];
        const Node& node = nodes[i];
        size_t len = std::min<size_t>(en.name.size(), 31);
        for (size_t k = 0; k < len; ++k) set16(e + 2 * k, en.name[k]);
        set16(e + 64, uint16_t(2 * (len + 1)));
        e[66] = uint8_t(en.type);
        e[67] = node.color;
        set32(e + 68, node.left);
        set32(e + 72, node.right);
        set32(e + 76, node.child);
        std::copy(en.clsid.begin(), en.clsid.end(), e + 80);
        set32(e + 96, en.stateBits);
        std::copy(en.times.begin(), en.times.end(), e + 100);
        if (en.type == CompoundFile::Type::Root) {
            set32(e + 116, plan.miniStart);
            set32(e + 120, uint32_t(plan.miniSectorCount * 64));
        } else if (en.type == CompoundFile::Type::Stream) {
            set32(e + 116, node.start);
            set32(e + 120, uint32_t(plan.sizeOf(entries, i)));
        }
    }
}

// The FAT: every part's chain, in the order planSectors placed them; the rest free. The mini
// FAT the same for the mini stream's streams.
void writeFat(const Entries& entries, const Plan& plan, uint8_t* fat, uint8_t* miniFat) {
    std::fill(fat, fat + plan.fatSectors * kSector, uint8_t(0xFF));  // kFreeSector
    uint32_t next = 0;
    auto chain = [&](size_t count, uint32_t mark) {
        for (size_t k = 0; k < count; ++k, ++next)
            set32(fat + 4 * next, mark != 0 ? mark : (k + 1 < count ? next + 1 : kEndOfChain));
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
    std::fill(miniFat, miniFat + plan.miniFatSectors * kSector, uint8_t(0xFF));
    uint32_t at = 0;
    for (size_t i = 1; i < entries.size(); ++i) {
        if (!plan.inMini(entries, i)) continue;
        const size_t count = sectorsFor(entries[i].data.size(), 64);
        for (size_t k = 0; k < count; ++k, ++at)
            set32(miniFat + 4 * at, k + 1 < count ? at + 1 : kEndOfChain);
    }
}

// Header, 512 bytes, with the first 109 FAT sector numbers; the DIFAT sectors (at `difat`, one
// after the other) hold the rest, each ending with the next one's number.
void writeHeader(const Plan& plan, uint8_t* h, uint8_t* difat) {
    const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(sig, sig + 8, h);
    set16(h + 24, 0x3E);
    set16(h + 26, 3);
    set16(h + 28, 0xFFFE);
    set16(h + 30, 9);
    set16(h + 32, 6);
    set32(h + 44, uint32_t(plan.fatSectors));
    set32(h + 48, plan.dirStart);
    set32(h + 56, uint32_t(kCutoff));
    set32(h + 60, plan.miniFatSectors ? plan.miniFatStart : kEndOfChain);
    set32(h + 64, uint32_t(plan.miniFatSectors));
    set32(h + 68, plan.difatSectors ? plan.difatStart : kEndOfChain);
    set32(h + 72, uint32_t(plan.difatSectors));
    for (size_t k = 0; k < 109; ++k)
        set32(h + 76 + 4 * k, k < plan.fatSectors ? plan.fatStart + uint32_t(k) : kFreeSector);
    const size_t perDifat = kSector / 4 - 1;
    for (size_t d = 0; d < plan.difatSectors; ++d) {
        uint8_t* p = difat + kSector * d;
        for (size_t j = 0; j < perDifat; ++j) {
            size_t k = 109 + d * perDifat + j;
            set32(p + 4 * j, k < plan.fatSectors ? plan.fatStart + uint32_t(k) : kFreeSector);
        }
        set32(p + 4 * perDifat,
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
            std::copy(data.begin(), data.end(), sector(plan.miniStart) + 64 * nodes[i].start);
        else if (plan.large(entries_, i))
            std::copy(data.begin(), data.end(), sector(nodes[i].start));
    }
    writeHeader(plan, pieces.head.data(), plan.difatSectors ? sector(plan.difatStart) : nullptr);
    return pieces;
}

}  // namespace xls
