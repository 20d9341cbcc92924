#include "xls/SharedStrings.h"

#include <algorithm>
#include <cstring>

#include "xls/FastPaths.h"

namespace xls {

namespace {

constexpr uint64_t kHighBits = 0x8080808080808080ull;

uint64_t load64(const void* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

uint32_t load32(const void* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

// The two halves of the 128-bit product of a and b, folded: every bit of the result depends on
// every bit of both.
inline uint64_t foldedProduct(uint64_t a, uint64_t b) {
    const unsigned __int128 m = static_cast<unsigned __int128>(a) * b;
    return uint64_t(m) ^ uint64_t(m >> 64);
}

// A hash of a text from two words that between them hold its every byte (the first and the last
// eight, or four, bytes) folded by one wide multiply; longer texts fold their other words in
// first. Spread enough for an open-addressed table of short labels, and much cheaper than
// std::hash for them. Every byte is read by whole-word loads (bytes copied one by one into a word
// would stall its load). `seen` gets the words or-ed together: every byte lies in one of them, in
// a byte of its own, so the text is 7-bit ASCII when none of kHighBits is set in it. The
// constants have bytes of the high half, which no 7-bit text's word equals.
[[gnu::always_inline]] inline uint32_t hashOf(std::string_view s, uint64_t& seen) {
    constexpr uint64_t kA = 0xA0761D6478BD642Full, kB = 0xE7037ED1A0B428DBull;
    const char* p = s.data();
    const size_t n = s.size();
    uint64_t h = uint64_t(n) * 0x9E3779B97F4A7C15ull;
    uint64_t a = 0, b = 0;
    seen = 0;
    if (n > 16) {
        for (size_t i = 0; i + 16 < n; i += 8) {
            const uint64_t w = load64(p + i);
            seen |= w;
            h = foldedProduct(h ^ w, kB);
        }
        a = load64(p + n - 16);
        b = load64(p + n - 8);
    } else if (n >= 8) {
        a = load64(p);
        b = load64(p + n - 8);
    } else if (n >= 4) {
        a = load32(p);
        b = load32(p + n - 4);
    } else if (n > 0) {
        const auto* c = reinterpret_cast<const uint8_t*>(p);
        a = c[0] | uint64_t(c[n / 2]) << 8 | uint64_t(c[n - 1]) << 16;
    }
    seen |= a | b;
    return uint32_t(foldedProduct(a ^ h ^ kA, b ^ kB));
}

inline uint32_t hashOf(std::string_view s) {
    uint64_t seen;
    return hashOf(s, seen);
}

bool isAscii(const char* p, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8)
        if (load64(p + i) & kHighBits) return false;
    for (; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) >= 0x80) return false;
    return true;
}

bool isSurrogate(uint32_t c) { return c >= 0xD800 && c < 0xE000; }

// Appends `n` Latin-1 characters as UTF-8; true when all of them are ASCII.
bool appendLatin1(std::string& out, const uint8_t* d, size_t n) {
    size_t i = 0;
    while (i + 8 <= n && !(load64(d + i) & kHighBits)) i += 8;
    while (i < n && d[i] < 0x80) ++i;
    out.append(reinterpret_cast<const char*>(d), i);
    if (i == n) return true;
    for (; i < n; ++i) {
        if (d[i] < 0x80) {
            out += char(d[i]);
        } else {
            out += char(0xC0 | (d[i] >> 6));
            out += char(0x80 | (d[i] & 0x3F));
        }
    }
    return false;
}

// Appends `n` UTF-16LE code units as UTF-8 and sets `ascii`; false, with nothing appended, when
// a surrogate is among them.
bool appendUtf16(std::string& out, const uint8_t* d, size_t n, bool& ascii) {
    size_t bytes = 0;
    for (size_t k = 0; k < n; ++k) {
        uint32_t c = get16(d + 2 * k);
        if (isSurrogate(c)) return false;
        bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    }
    ascii = bytes == n;
    size_t at = out.size();
    out.resize(at + bytes);
    char* p = &out[at];
    for (size_t k = 0; k < n; ++k) {
        uint32_t c = get16(d + 2 * k);
        if (c < 0x80) {
            *p++ = char(c);
        } else if (c < 0x800) {
            *p++ = char(0xC0 | (c >> 6));
            *p++ = char(0x80 | (c & 0x3F));
        } else {
            *p++ = char(0xE0 | (c >> 12));
            *p++ = char(0x80 | ((c >> 6) & 0x3F));
            *p++ = char(0x80 | (c & 0x3F));
        }
    }
    return true;
}

std::u16string widen(const ChunkReader::InPlace& in) {
    std::u16string chars(in.count, u'\0');
    for (size_t k = 0; k < in.count; ++k)
        chars[k] = in.wide ? char16_t(get16(in.chars + 2 * k)) : char16_t(in.chars[k]);
    return chars;
}

// UTF-8 cannot carry every UTF-16 text read from a file, nor one longer than a new string may be.
bool needsOwnChars(const std::u16string& s) {
    return s.size() > 32767 || std::any_of(s.begin(), s.end(), isSurrogate);
}

}  // namespace

void SharedStrings::parse(std::vector<Bytes> group) {
    present_ = true;
    std::vector<const Bytes*> chunks;
    size_t total = 0;
    if (original_.empty()) original_.swap(group);
    for (Bytes& data : group) original_.push_back(std::move(data));
    for (const Bytes& b : original_) {
        chunks.push_back(&b);
        total += b.size();
    }
    ByteReader head(original_[0]);
    head.u32();
    uint32_t unique = head.u32();
    ChunkReader reader(std::move(chunks), 8);
    strings_.reserve(strings_.size() + std::min<size_t>(unique, total / 3 + 1));
    // The table is written back as it was only when it holds `unique` strings; the EXTSST
    // then points at every dsst-th of them.
    placeStep_ = std::max<size_t>(8, unique / 128 + 1);
    // Strings past the header's count are read too (some writers leave the count at zero):
    // cells point at them, and a string added later must not take their place. A damaged
    // string past the count ends the table there.
    ChunkReader::InPlace in;
    for (uint32_t i = 0; !reader.atEnd(); ++i) {
        // Fast path: most strings of a list are 7-bit text in 8-bit characters, nothing more,
        // whole in the record, and not one whose place EXTSST keeps. Taken where they lie, they
        // are the strings addParsed() would make of them.
        const uint8_t* d = reader.here();
        const size_t left = reader.leftHere();
        if (kFastPaths && left >= 3 && d[2] == 0 && strings_.size() != nextPlace_) {
            const size_t count = get16(d);
            if (count <= left - 3 && count <= 32767 &&
                isAscii(reinterpret_cast<const char*>(d + 3), count)) {
                textBytes_ += count;
                strings_.push_back(
                    Str(reinterpret_cast<uintptr_t>(d + 3), uint32_t(count), kPlain, true, true));
                reader.skip(3 + count);
                continue;
            }
        }
        // Fast path: a string whole in its record, read where it lies; the same text.
        if (kFastPaths && reader.readInPlace(in)) {
            addParsed(in);
            continue;
        }
        ChunkReader::Text t;
        if (i < unique) {
            t = reader.readString();
        } else {
            bool cut = false;
            t = reader.readString(2, &cut);
            if (cut) break;
        }
        addParsed(t);
    }
    originalCount_ = strings_.size();
    if (originalCount_ != unique || reader.mended()) {
        // The count in the header lies, or the records needed mending: the table is rebuilt
        // from what was read.
        originalCount_ = size_t(-1);
    }
}

// A string that lies whole in one record, read without a UTF-16 copy unless it must keep one.
void SharedStrings::addParsed(const ChunkReader::InPlace& in) {
    if (strings_.size() == nextPlace_) {
        places_.push_back({in.chunk, in.offset});
        nextPlace_ += placeStep_;
    }
    if (!in.wide && in.count <= 32767 &&
        isAscii(reinterpret_cast<const char*>(in.chars), in.count)) {
        // Its own UTF-8: read where it lies.
        uint32_t rich = kPlain;
        if (in.runBytes > 0 || in.extBytes > 0)
            rich = addRich({}, Bytes(in.runs, in.runs + in.runBytes),
                           Bytes(in.ext, in.ext + in.extBytes));
        textBytes_ += in.count;
        strings_.push_back(
            Str(reinterpret_cast<uintptr_t>(in.chars), uint32_t(in.count), rich, true, true));
        return;
    }
    const size_t at = text_.size();
    bool surrogates = false, ascii = false;
    if (!in.wide)
        ascii = appendLatin1(text_, in.chars, in.count);
    else
        surrogates = !appendUtf16(text_, in.chars, in.count, ascii);
    uint32_t rich = kPlain;
    bool ownChars = surrogates || in.count > 32767;
    if (ownChars || in.runBytes > 0 || in.extBytes > 0) {
        std::u16string chars;
        if (ownChars) chars = widen(in);
        if (surrogates) {
            text_ += utf16ToUtf8(chars);
            ascii = false;
        }
        rich = addRich(std::move(chars), Bytes(in.runs, in.runs + in.runBytes),
                       Bytes(in.ext, in.ext + in.extBytes));
    }
    pushString(at, rich, ascii);
}

// A string read across records.
void SharedStrings::addParsed(ChunkReader::Text& t) {
    const size_t at = text_.size();
    if (strings_.size() == nextPlace_) {
        places_.push_back({t.chunk, t.offset});
        nextPlace_ += placeStep_;
    }
    text_ += utf16ToUtf8(t.chars);
    uint32_t rich = kPlain;
    bool ownChars = needsOwnChars(t.chars);
    if (ownChars || !t.runs.empty() || !t.ext.empty())
        rich = addRich(ownChars ? std::move(t.chars) : std::u16string(), std::move(t.runs),
                       std::move(t.ext));
    pushString(at, rich, isAscii(text_.data() + at, text_.size() - at));
}

uint32_t SharedStrings::addRich(std::u16string chars, Bytes runs, Bytes ext) {
    // Its header's run count and phonetic size, and its characters at two bytes each.
    richBytes_ += 6 + 2 * chars.size() + runs.size() + ext.size();
    rich_.push_back({std::move(chars), std::move(runs), std::move(ext)});
    return uint32_t(rich_.size() - 1);
}

// Enters the string whose text is text_ from `at` on.
inline void SharedStrings::pushString(size_t at, uint32_t rich, bool ascii) {
    const uint32_t size = uint32_t(text_.size() - at);
    textBytes_ += size;
    if (!ascii) nonAsciiBytes_ += size;
    strings_.push_back(Str(at, size, rich, ascii, false));
}

const SharedStrings::Rich& SharedStrings::richOf(const Str& s) const {
    static const Rich kNone;
    return s.rich == kPlain ? kNone : rich_[s.rich];
}

// Makes the table four times as large (a list being added rebuilds it fewer times) and enters the
// strings in it again, in index order from their kept hashes.
void SharedStrings::grow() {
    plain_.assign(std::max<size_t>(64, plain_.size() * 4), Slot());
    const size_t mask = plain_.size() - 1;
    for (size_t i = 0; i < hashes_.size(); ++i) {
        const uint32_t hash = hashes_[i];
        if (hash & kNotIndexed) continue;
        size_t at = hash & mask;
        while (plain_[at].id) at = (at + 1) & mask;
        plain_[at] = {uint32_t(i + 1), hash};
    }
}

// The slot of the plain string with text `utf8`, or the free slot where it belongs.
inline size_t SharedStrings::slotOf(std::string_view utf8, uint32_t hash) const {
    const size_t mask = plain_.size() - 1;
    size_t at = hash & mask;
    for (; plain_[at].id; at = (at + 1) & mask)
        if (plain_[at].hash == hash && text(plain_[at].id - 1) == utf8) break;
    return at;
}

uint32_t SharedStrings::findOrAdd(std::string_view utf8) {
    if (!indexed_) {
        // The strings read, in order: of two with the same text the first is found.
        hashes_.assign(strings_.size(), kNotIndexed);
        for (size_t i = 0; i < strings_.size(); ++i) {
            const Rich& r = richOf(strings_[i]);
            if (!r.runs.empty() || !r.ext.empty()) continue;
            if (2 * (plainCount_ + 1) > plain_.size()) grow();
            uint32_t hash = hashOf(text(i)) & ~kNotIndexed;
            size_t at = slotOf(text(i), hash);
            if (plain_[at].id) continue;
            plain_[at] = {uint32_t(i + 1), hash};
            hashes_[i] = hash;
            ++plainCount_;
        }
        indexed_ = true;
    }
    if (2 * (plainCount_ + 1) > plain_.size()) grow();
    uint64_t seen;
    const uint32_t hash = hashOf(utf8, seen) & ~kNotIndexed;
    const size_t at = slotOf(utf8, hash);
    if (plain_[at].id) return plain_[at].id - 1;
    // Entered as pushString() would, through a copy of the entry: a path of its own that stays
    // inline here, apart from the reading of the table.
    const uint32_t size = uint32_t(utf8.size());
    const bool ascii = !(seen & kHighBits);
    const char* text = added_.add(utf8.data(), size);
    textBytes_ += size;
    if (!ascii) nonAsciiBytes_ += size;
    strings_.push_back(Str(reinterpret_cast<uintptr_t>(text), size, kPlain, ascii, true));
    present_ = true;
    plain_[at] = {uint32_t(strings_.size()), hash};
    hashes_.push_back(hash);
    ++plainCount_;
    return uint32_t(strings_.size() - 1);
}

void SharedStrings::StrList::reallocate(size_t capacity) {
    void* grown = std::realloc(data_, capacity * sizeof(Str));
    if (!grown) throw std::bad_alloc();
    data_ = static_cast<Str*>(grown);
    capacity_ = capacity;
}

void SharedStrings::AddedTexts::newBlock(size_t n) {
    // Blocks double from 1 KB up to 1 MB: few allocations for a long list, little room unused
    // for a short one.
    const size_t last = blocks_.empty() ? 512 : size_t(free_ - blocks_.back().get()) + left_;
    const size_t size = std::max(n, std::min<size_t>(2 * last, size_t(1) << 20));
    blocks_.emplace_back(new char[size]);
    free_ = blocks_.back().get();
    left_ = size;
}

void SharedStrings::writeOriginal(Bytes& out, uint32_t totalRefs, size_t dsst,
                                  std::vector<std::pair<size_t, size_t>>& starts) const {
    std::vector<size_t> recordPos;
    for (size_t i = 0; i < original_.size(); ++i) {
        recordPos.push_back(out.size());
        const Bytes& data = original_[i];
        writeRecord(out, i == 0 ? rt::Sst : rt::Continue, data.data(), data.size());
        if (i == 0 && data.size() >= 4) set32(&out[recordPos[0] + 4], totalRefs);
    }
    // The table holds the `unique` strings it was read with, so dsst is placeStep_.
    if (dsst != placeStep_) return;
    for (const Place& p : places_)
        starts.emplace_back(recordPos[p.chunk] + 4 + p.offset, recordPos[p.chunk]);
}

// At least the bytes writeRebuilt gives: each string's 3-byte header, a character of a 7-bit
// ASCII text per byte of its UTF-8 and of any other text at most two bytes per UTF-8 byte (a
// UTF-16 unit never takes fewer), what rich strings add, and each CONTINUE's header and repeated
// option byte.
size_t SharedStrings::rebuiltBound() const {
    size_t payload = 8 + 3 * strings_.size() + textBytes_ + nonAsciiBytes_ + richBytes_;
    return 4 + payload + (payload / (kMaxRecordData - 16) + 1) * 5;
}

// One pass straight into `out`, grown once to the bound and cut to what was written: each
// record's size is filled in when it is closed. A string whose characters do not fit continues
// in a CONTINUE record that starts with the option byte again; a string's header and first
// character are never split.
void SharedStrings::writeRebuilt(Bytes& out, uint32_t totalRefs, size_t dsst,
                                 std::vector<std::pair<size_t, size_t>>& starts) const {
    const size_t base = out.size();
    out.resize(base + rebuiltBound());
    uint8_t* const begin = out.data();
    uint8_t* p = begin + base;
    uint8_t* rec = p;  // the open record
    auto open = [&](uint16_t type) {
        rec = p;
        set16(p, type);
        p += 4;
    };
    auto used = [&] { return size_t(p - rec - 4); };
    auto flush = [&] {
        set16(rec + 2, uint16_t(used()));
        open(rt::Continue);
    };
    open(rt::Sst);
    set32(p, totalRefs);
    set32(p + 4, uint32_t(strings_.size()));
    p += 8;
    std::string narrow;
    std::u16string scratch;
    size_t nextStart = 0;  // the next string whose place EXTSST gives: every dsst-th
    for (size_t i = 0; i < strings_.size(); ++i) {
        const Str& str = strings_[i];
        const char* utf8 = text(i).data();
        // Fast path: plain ASCII text that fits in the record as it is; the same bytes as below.
        if (kFastPaths && str.rich == kPlain && str.ascii &&
            used() + 3 + str.size <= kMaxRecordData) {
            if (i == nextStart) {
                starts.emplace_back(size_t(p - begin), size_t(rec - begin));
                nextStart += dsst;
            }
            set16(p, uint16_t(str.size));
            p[2] = 0;
            copyBytes(p + 3, reinterpret_cast<const uint8_t*>(utf8), str.size);
            p += 3 + str.size;
            continue;
        }
        const Rich& s = richOf(str);
        // The characters: ASCII text as it stands, anything else as UTF-16.
        const std::u16string* chars = &s.chars;
        const bool ascii = str.ascii && s.chars.empty() && str.size <= 32767;
        if (s.chars.empty() && !ascii) {
            narrow.assign(utf8, str.size);
            scratch = utf8ToUtf16(narrow);
            if (scratch.size() > 32767) scratch.resize(32767);
            chars = &scratch;
        }
        const size_t count = ascii ? str.size : chars->size();
        const bool wide = !ascii && std::any_of(chars->begin(), chars->end(),
                                                [](char16_t c) { return c > 0xFF; });
        const size_t charSize = wide ? 2 : 1;
        const size_t header = 3 + (s.runs.empty() ? 0 : 2) + (s.ext.empty() ? 0 : 4);
        if (used() + header + (count == 0 ? 0 : charSize) > kMaxRecordData) flush();
        if (i == nextStart) {
            starts.emplace_back(size_t(p - begin), size_t(rec - begin));
            nextStart += dsst;
        }
        set16(p, uint16_t(count));
        p[2] = uint8_t((wide ? 1 : 0) | (s.ext.empty() ? 0 : 4) | (s.runs.empty() ? 0 : 8));
        p += 3;
        if (!s.runs.empty()) {
            set16(p, uint16_t(s.runs.size() / 4));
            p += 2;
        }
        if (!s.ext.empty()) {
            set32(p, uint32_t(s.ext.size()));
            p += 4;
        }
        for (size_t done = 0; done < count;) {
            const size_t room = (kMaxRecordData - used()) / charSize;
            if (room == 0) {
                flush();
                *p++ = wide ? 1 : 0;  // split string: the continuation repeats the option
                continue;
            }
            const size_t n = std::min(room, count - done);
            if (ascii) {
                std::memcpy(p, utf8 + done, n);
                p += n;
            } else if (wide) {
                for (size_t k = 0; k < n; ++k, p += 2) set16(p, (*chars)[done + k]);
            } else {
                for (size_t k = 0; k < n; ++k) *p++ = uint8_t((*chars)[done + k]);
            }
            done += n;
        }
        for (size_t k = 0; k < s.runs.size(); k += 4) {
            if (used() + 4 > kMaxRecordData) flush();
            std::memcpy(p, s.runs.data() + k, 4);
            p += 4;
        }
        for (size_t done = 0; done < s.ext.size();) {
            const size_t n = std::min(kMaxRecordData - used(), s.ext.size() - done);
            if (n == 0) {
                flush();
                continue;
            }
            std::memcpy(p, s.ext.data() + done, n);
            p += n;
            done += n;
        }
    }
    set16(rec + 2, uint16_t(used()));
    out.resize(size_t(p - begin));
}

size_t SharedStrings::sizeHint() const {
    size_t size = 16;
    for (const Bytes& b : original_) size += 4 + b.size();
    if (originalCount_ != strings_.size()) size += rebuiltBound();
    return size + strings_.size() + 64;  // EXTSST
}

size_t SharedStrings::write(Bytes& out, uint32_t totalRefs) const {
    // EXTSST: the stream position of every dsst-th string and its offset inside its record
    // (record header included), for readers that seek into the table.
    const size_t dsst = std::max<size_t>(8, strings_.size() / 128 + 1);
    std::vector<std::pair<size_t, size_t>> starts;  // (string position, its record's position)
    starts.reserve(strings_.size() / dsst + 1);
    // Both ways the field is the first of the SST record's data.
    size_t field = out.size() + 4;
    if (originalCount_ == strings_.size()) {
        if (original_.empty() || original_[0].size() < 4) field = kNoField;
        writeOriginal(out, totalRefs, dsst, starts);
    } else {
        writeRebuilt(out, totalRefs, dsst, starts);
    }
    const size_t at = out.size();
    out.resize(at + 6 + 8 * starts.size());
    uint8_t* p = out.data() + at;
    set16(p, rt::ExtSst);
    set16(p + 2, uint16_t(2 + 8 * starts.size()));
    set16(p + 4, uint16_t(dsst));
    p += 6;
    for (const auto& [string, record] : starts) {
        set32(p, uint32_t(string));
        set16(p + 4, uint16_t(string - record));
        set16(p + 6, 0);
        p += 8;
    }
    return field;
}

}  // namespace xls
