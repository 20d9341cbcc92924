// Writing a version 3 compound file. Layout: FAT sectors, DIFAT sectors, directory, mini FAT,
// mini stream container, then the large streams, each chain contiguous.
#include "xls/CompoundFile.h"

#include <algorithm>
#include <functional>

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
    Entry root;
    root.name = u"Root Entry";
    root.type = Type::Root;
    entries_.push_back(root);
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

size_t CompoundFile::putStream(const std::u16string& name, Bytes data) {
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

CompoundFile::Pieces CompoundFile::serializeAround(size_t first, size_t firstSize) const {
    const size_t n = entries_.size();
    auto sizeOf = [&](size_t i) { return i == first ? firstSize : entries_[i].data.size(); };
    // Mini stream: small streams packed in 64-byte mini sectors.
    Bytes mini;
    std::vector<uint32_t> miniFat;
    std::vector<uint32_t> start(n, kEndOfChain);
    std::vector<size_t> bigStreams;
    // The stream given apart is placed first, even when small; the rest in entry order.
    if (first != kNone && firstSize >= kCutoff) bigStreams.push_back(first);
    for (size_t i = 1; i < n; ++i) {
        const Entry& e = entries_[i];
        if (e.type != Type::Stream || i == first || e.data.empty()) continue;
        if (e.data.size() >= kCutoff) {
            bigStreams.push_back(i);
            continue;
        }
        size_t at = mini.size() / 64, count = sectorsFor(e.data.size(), 64);
        start[i] = uint32_t(at);
        for (size_t k = 0; k < count; ++k)
            miniFat.push_back(k + 1 < count ? uint32_t(at + k + 1) : kEndOfChain);
        mini.insert(mini.end(), e.data.begin(), e.data.end());
        mini.resize((at + count) * 64, 0);
    }
    size_t dirSectors = sectorsFor(n * 128, kSector);
    size_t miniFatSectors = sectorsFor(miniFat.size() * 4, kSector);
    size_t miniSectors = sectorsFor(mini.size(), kSector);
    size_t dataSectors = dirSectors + miniFatSectors + miniSectors;
    for (size_t i : bigStreams) dataSectors += sectorsFor(sizeOf(i), kSector);
    size_t fatSectors = 0, difatSectors = 0;
    for (;;) {
        size_t total = dataSectors + fatSectors + difatSectors;
        size_t needFat = sectorsFor(total, kSector / 4);
        size_t needDifat = needFat > 109 ? sectorsFor(needFat - 109, kSector / 4 - 1) : 0;
        if (needFat == fatSectors && needDifat == difatSectors) break;
        fatSectors = needFat;
        difatSectors = needDifat;
    }
    size_t total = dataSectors + fatSectors + difatSectors;
    std::vector<uint32_t> fat(fatSectors * kSector / 4, kFreeSector);
    uint32_t next = 0;
    auto allocate = [&](size_t count, uint32_t mark) {
        uint32_t first = next;
        for (size_t k = 0; k < count; ++k, ++next)
            fat[next] = mark != 0 ? mark : (k + 1 < count ? next + 1 : kEndOfChain);
        return count ? first : kEndOfChain;
    };
    const bool apart = first != kNone && firstSize >= kCutoff;
    if (apart) start[first] = allocate(sectorsFor(firstSize, kSector), 0);
    const uint32_t apartSectors = next;
    uint32_t fatStart = allocate(fatSectors, kFatSector);
    uint32_t difatStart = allocate(difatSectors, kDifatSector);
    uint32_t dirStart = allocate(dirSectors, 0);
    uint32_t miniFatStart = allocate(miniFatSectors, 0);
    uint32_t miniStart = allocate(miniSectors, 0);
    for (size_t i : bigStreams)
        if (i != first) start[i] = allocate(sectorsFor(sizeOf(i), kSector), 0);

    // Directory: each storage's children form a balanced binary tree in name order, coloured
    // so that it is a valid red-black tree (the deepest level red, the rest black).
    std::vector<uint32_t> left(n, kNoStream), right(n, kNoStream), child(n, kNoStream);
    std::vector<uint8_t> color(n, 1);
    for (size_t p = 0; p < n; ++p) {
        const auto& kids = entries_[p].children;
        if (kids.empty()) continue;
        std::vector<int> depth(kids.size());
        int maxDepth = 0;
        std::function<uint32_t(size_t, size_t, int)> build = [&](size_t lo, size_t hi, int d) {
            if (lo >= hi) return kNoStream;
            size_t mid = (lo + hi) / 2;
            depth[mid] = d;
            maxDepth = std::max(maxDepth, d);
            uint32_t id = uint32_t(kids[mid]);
            left[id] = build(lo, mid, d + 1);
            right[id] = build(mid + 1, hi, d + 1);
            return id;
        };
        child[p] = build(0, kids.size(), 0);
        for (size_t k = 0; k < kids.size(); ++k)
            color[kids[k]] = (maxDepth > 0 && depth[k] == maxDepth) ? 0 : 1;
    }
    Pieces pieces;
    Bytes& out = pieces.tail;
    pieces.head.assign(kSector, 0);
    const size_t pad = apart ? kSector * apartSectors - firstSize : 0;
    out.assign(pad + kSector * (total - apartSectors), 0);
    auto sectorPtr = [&](uint32_t id) { return out.data() + pad + kSector * (id - apartSectors); };
    uint8_t* dir = sectorPtr(dirStart);
    for (size_t i = 0; i < dirSectors * 4; ++i) {
        uint8_t* e = dir + 128 * i;
        if (i >= n) {
            set32(e + 68, kNoStream);
            set32(e + 72, kNoStream);
            set32(e + 76, kNoStream);
            continue;
        }
        const Entry& en = entries_[i];
        size_t len = std::min<size_t>(en.name.size(), 31);
        for (size_t k = 0; k < len; ++k) set16(e + 2 * k, en.name[k]);
        set16(e + 64, uint16_t(2 * (len + 1)));
        e[66] = uint8_t(en.type);
        e[67] = color[i];
        set32(e + 68, left[i]);
        set32(e + 72, right[i]);
        set32(e + 76, child[i]);
        std::copy(en.clsid.begin(), en.clsid.end(), e + 80);
        set32(e + 96, en.stateBits);
        std::copy(en.times.begin(), en.times.end(), e + 100);
        if (en.type == Type::Root) {
            set32(e + 116, miniStart);
            set32(e + 120, uint32_t(mini.size()));
        } else if (en.type == Type::Stream) {
            set32(e + 116, start[i]);
            set32(e + 120, uint32_t(sizeOf(i)));
        }
    }
    if (miniFatSectors) {
        uint8_t* p = sectorPtr(miniFatStart);
        for (size_t k = 0; k < miniFatSectors * kSector / 4; ++k)
            set32(p + 4 * k, k < miniFat.size() ? miniFat[k] : kFreeSector);
    }
    if (miniSectors) std::copy(mini.begin(), mini.end(), sectorPtr(miniStart));
    for (size_t i : bigStreams)
        if (i != first)
            std::copy(entries_[i].data.begin(), entries_[i].data.end(), sectorPtr(start[i]));
    for (size_t k = 0; k < fatSectors; ++k) {
        uint8_t* p = sectorPtr(fatStart + uint32_t(k));
        for (size_t j = 0; j < kSector / 4; ++j) set32(p + 4 * j, fat[k * kSector / 4 + j]);
    }
    // Header and DIFAT.
    uint8_t* h = pieces.head.data();
    const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(sig, sig + 8, h);
    set16(h + 24, 0x3E);
    set16(h + 26, 3);
    set16(h + 28, 0xFFFE);
    set16(h + 30, 9);
    set16(h + 32, 6);
    set32(h + 44, uint32_t(fatSectors));
    set32(h + 48, dirStart);
    set32(h + 56, uint32_t(kCutoff));
    set32(h + 60, miniFatSectors ? miniFatStart : kEndOfChain);
    set32(h + 64, uint32_t(miniFatSectors));
    set32(h + 68, difatSectors ? difatStart : kEndOfChain);
    set32(h + 72, uint32_t(difatSectors));
    for (size_t k = 0; k < 109; ++k)
        set32(h + 76 + 4 * k, k < fatSectors ? fatStart + uint32_t(k) : kFreeSector);
    size_t perDifat = kSector / 4 - 1;
    for (size_t d = 0; d < difatSectors; ++d) {
        uint8_t* p = sectorPtr(difatStart + uint32_t(d));
        for (size_t j = 0; j < perDifat; ++j) {
            size_t k = 109 + d * perDifat + j;
            set32(p + 4 * j, k < fatSectors ? fatStart + uint32_t(k) : kFreeSector);
        }
        set32(p + 4 * perDifat, d + 1 < difatSectors ? difatStart + uint32_t(d + 1) : kEndOfChain);
    }
    return pieces;
}

}  // namespace xls
