#include "xls/SharedStrings.h"

#include <algorithm>
#include <cstring>

#include "xls/BiffFormat.h"
#include "xls/FastPaths.h"
#include "xls/StringHash.h"

namespace xls {

namespace {

using stringhash::load64;

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
    return s.size() > kMaxStringChars || std::any_of(s.begin(), s.end(), isSurrogate);
}

}  // namespace

size_t SharedStrings::extSstSpacing(size_t strings) {
    return std::max(biff::extSst::kMinSpacing, strings / biff::extSst::kMaxEntries + 1);
}

void SharedStrings::parse(std::vector<Bytes> group) {
    std::vector<const Bytes*> chunks;
    size_t total = 0;
    if (original_.empty()) original_.swap(group);
    for (Bytes& data : group) original_.push_back(std::move(data));
    for (const Bytes& b : original_) {
        chunks.push_back(&b);
        total += b.size();
    }
    ByteReader head(original_[0]);
    head.skip(biff::sst::kUniqueCount);
    const uint32_t unique = head.u32();
    ChunkReader reader(std::move(chunks), biff::sst::kStrings);
    strings_.reserve(strings_.size() + std::min<size_t>(unique, total / 3 + 1));
    // The table is written back as it was only when it holds `unique` strings; EXTSST then
    // gives the place of every startStep_-th of them.
    startStep_ = extSstSpacing(unique);
    // Strings past the header's count are read too (some writers leave the count at zero):
    // cells point at them, and a string added later must not take their place. A damaged
    // string past the count ends the table there.
    ChunkReader::InPlace in;
    for (uint32_t i = 0; !reader.atEnd(); ++i) {
        // Fast path: most strings of a list are 7-bit text in 8-bit characters, nothing more,
        // whole in the record, and not one whose start EXTSST keeps. Taken where they lie, they
        // are the strings addParsed() would make of them.
        using namespace biff::str;
        const uint8_t* d = reader.here();
        const size_t left = reader.leftHere();
        if (kFastPaths && left >= kHeaderSize && d[kOptions] == 0 &&
            strings_.size() != nextStart_) {
            const size_t count = get16(d + kCharCount);
            const uint8_t* chars = d + kHeaderSize;
            if (count <= left - kHeaderSize && count <= kMaxStringChars &&
                isAscii(reinterpret_cast<const char*>(chars), count)) {
                textBytes_ += count;
                strings_.push_back(StringEntry(reinterpret_cast<uintptr_t>(chars), uint32_t(count),
                                               kPlain, true, true));
                reader.skip(kHeaderSize + count);
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
        originalCount_ = kNotAsRead;
    }
}

// Keeps where the string about to be entered starts when EXTSST gives its place.
inline void SharedStrings::keepStart(size_t record, size_t offset) {
    if (strings_.size() != nextStart_) return;
    starts_.push_back({record, offset});
    nextStart_ += startStep_;
}

// A string that lies whole in one record, read without a UTF-16 copy unless it must keep one.
void SharedStrings::addParsed(const ChunkReader::InPlace& in) {
    keepStart(in.chunk, in.offset);
    if (!in.wide && in.count <= kMaxStringChars &&
        isAscii(reinterpret_cast<const char*>(in.chars), in.count)) {
        // Its own UTF-8: read where it lies.
        uint32_t rich = kPlain;
        if (in.runBytes > 0 || in.extBytes > 0)
            rich = addRich({}, Bytes(in.runs, in.runs + in.runBytes),
                           Bytes(in.ext, in.ext + in.extBytes));
        textBytes_ += in.count;
        strings_.push_back(StringEntry(reinterpret_cast<uintptr_t>(in.chars), uint32_t(in.count),
                                       rich, true, true));
        return;
    }
    const size_t at = text_.size();
    bool surrogates = false, ascii = false;
    if (!in.wide)
        ascii = appendLatin1(text_, in.chars, in.count);
    else
        surrogates = !appendUtf16(text_, in.chars, in.count, ascii);
    uint32_t rich = kPlain;
    bool ownChars = surrogates || in.count > kMaxStringChars;
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
    keepStart(t.chunk, t.offset);
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
    using namespace biff::str;
    richBytes_ += kRunCountSize + kPhoneticSizeSize + 2 * chars.size() + runs.size() + ext.size();
    rich_.push_back({std::move(chars), std::move(runs), std::move(ext)});
    return uint32_t(rich_.size() - 1);
}

// Enters the string whose text is text_ from `at` on.
inline void SharedStrings::pushString(size_t at, uint32_t rich, bool ascii) {
    const uint32_t size = uint32_t(text_.size() - at);
    textBytes_ += size;
    if (!ascii) nonAsciiBytes_ += size;
    strings_.push_back(StringEntry(at, size, rich, ascii, false));
}

const SharedStrings::Rich& SharedStrings::richOf(const StringEntry& s) const {
    static const Rich kNone;
    return s.rich == kPlain ? kNone : rich_[s.rich];
}

// Enters the plain strings read, in order: of two with the same text the first is found.
void SharedStrings::buildIndex() {
    auto textOf = [this](uint32_t i) { return text(i); };
    plain_.reserve(strings_.size());
    for (size_t i = 0; i < strings_.size(); ++i) {
        const Rich& r = richOf(strings_[i]);
        if (!r.runs.empty() || !r.ext.empty()) {
            plain_.skip();
            continue;
        }
        plain_.makeRoom();
        const uint32_t hash = PlainStringIndex::hashOf(text(i));
        const size_t at = plain_.find(text(i), hash, textOf);
        if (plain_.isFree(at))
            plain_.enter(at, uint32_t(i), hash);
        else
            plain_.skip();
    }
    indexed_ = true;
}

uint32_t SharedStrings::findOrAdd(std::string_view utf8) {
    if (!indexed_) buildIndex();
    plain_.makeRoom();
    uint64_t seen;
    const uint32_t hash = PlainStringIndex::hashOf(utf8, seen);
    const size_t at = plain_.find(utf8, hash, [this](uint32_t i) { return text(i); });
    if (!plain_.isFree(at)) return plain_.stringAt(at);
    // Entered as pushString() enters a string, its text copied into the arena; whether it is
    // ASCII came with the hash.
    const uint32_t size = uint32_t(utf8.size());
    const bool ascii = !(seen & kHighBits);
    const char* copied = added_.copy(utf8.data(), size);
    textBytes_ += size;
    if (!ascii) nonAsciiBytes_ += size;
    strings_.push_back(StringEntry(reinterpret_cast<uintptr_t>(copied), size, kPlain, ascii, true));
    const uint32_t index = uint32_t(strings_.size() - 1);
    plain_.enter(at, index, hash);
    return index;
}

}  // namespace xls
