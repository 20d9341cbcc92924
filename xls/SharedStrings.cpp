#include "xls/SharedStrings.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>

namespace xls {

namespace {

size_t hashOf(const std::string& s) { return std::hash<std::string_view>()(s); }

bool hasSurrogates(const std::u16string& s) {
    return std::any_of(s.begin(), s.end(), [](char16_t c) { return c >= 0xD800 && c < 0xE000; });
}

}  // namespace

void SharedStrings::parse(const std::vector<Record*>& group) {
    present_ = true;
    std::vector<const Bytes*> chunks;
    for (Record* r : group) original_.push_back(std::move(r->data));
    for (const Bytes& b : original_) chunks.push_back(&b);
    ByteReader head(original_[0]);
    head.u32();
    uint32_t unique = head.u32();
    ChunkReader reader(chunks, 8);
    strings_.reserve(std::min<size_t>(unique, original_[0].size() / 3 + 1));
    // Strings past the header's count are read too (some writers leave the count at zero):
    // cells point at them, and a string added later must not take their place. A damaged
    // string past the count ends the table there.
    for (uint32_t i = 0; !reader.atEnd(); ++i) {
        ChunkReader::Text t;
        if (i < unique) {
            t = reader.readString();
        } else {
            bool cut = false;
            t = reader.readString(2, &cut);
            if (cut) break;
        }
        Str s;
        s.utf8 = utf16ToUtf8(t.chars);
        bool ownChars = t.chars.size() > 32767 || hasSurrogates(t.chars);
        if (ownChars || !t.runs.empty() || !t.ext.empty()) {
            s.rich = uint32_t(rich_.size());
            rich_.push_back({ownChars ? std::move(t.chars) : std::u16string(), std::move(t.runs),
                             std::move(t.ext)});
        }
        s.chunk = uint32_t(t.chunk);
        s.offset = uint32_t(t.offset);
        strings_.push_back(std::move(s));
    }
    originalCount_ = strings_.size();
    if (originalCount_ != unique || reader.mended()) {
        // The count in the header lies, or the records needed mending: the table is rebuilt
        // from what was read.
        originalCount_ = size_t(-1);
    }
}

const SharedStrings::Rich& SharedStrings::richOf(const Str& s) const {
    static const Rich kNone;
    return s.rich == kPlain ? kNone : rich_[s.rich];
}

// Enters plain string `i` into the lookup table unless a string with its text is there.
void SharedStrings::index(uint32_t i) {
    if (2 * (plainCount_ + 1) > plain_.size()) {
        std::vector<uint32_t> old = std::move(plain_);
        plain_.assign(std::max<size_t>(64, old.size() * 2), 0);
        plainCount_ = 0;
        for (uint32_t entry : old)
            if (entry) index(entry - 1);
    }
    size_t mask = plain_.size() - 1;
    for (size_t at = hashOf(strings_[i].utf8) & mask;; at = (at + 1) & mask) {
        if (plain_[at] == 0) {
            plain_[at] = i + 1;
            ++plainCount_;
            return;
        }
        if (strings_[plain_[at] - 1].utf8 == strings_[i].utf8) return;
    }
}

uint32_t SharedStrings::findOrAdd(const std::string& utf8) {
    if (!indexed_) {
        for (size_t i = 0; i < strings_.size(); ++i)
            if (richOf(strings_[i]).runs.empty() && richOf(strings_[i]).ext.empty())
                index(uint32_t(i));
        indexed_ = true;
    }
    if (!plain_.empty()) {
        size_t mask = plain_.size() - 1;
        for (size_t at = hashOf(utf8) & mask; plain_[at]; at = (at + 1) & mask)
            if (strings_[plain_[at] - 1].utf8 == utf8) return plain_[at] - 1;
    }
    Str s;
    s.utf8 = utf8;
    strings_.push_back(std::move(s));
    present_ = true;
    uint32_t added = uint32_t(strings_.size() - 1);
    index(added);
    return added;
}

void SharedStrings::writeOriginal(Bytes& out, uint32_t totalRefs,
                                  std::vector<std::pair<size_t, size_t>>& starts) const {
    std::vector<size_t> recordPos;
    for (size_t i = 0; i < original_.size(); ++i) {
        recordPos.push_back(out.size());
        const Bytes& data = original_[i];
        writeRecord(out, i == 0 ? rt::Sst : rt::Continue, data.data(), data.size());
        if (i == 0 && data.size() >= 4) set32(&out[recordPos[0] + 4], totalRefs);
    }
    for (const Str& s : strings_)
        starts.emplace_back(recordPos[s.chunk] + 4 + s.offset, recordPos[s.chunk]);
}

// One pass straight into `out`: each record's size is filled in when it is closed. A string
// whose characters do not fit continues in a CONTINUE record that starts with the option byte
// again; a string's header and first character are never split.
void SharedStrings::writeRebuilt(Bytes& out, uint32_t totalRefs,
                                 std::vector<std::pair<size_t, size_t>>& starts) const {
    size_t recStart = out.size();
    auto open = [&](uint16_t type) {
        recStart = out.size();
        put16(out, type);
        put16(out, 0);
    };
    auto used = [&] { return out.size() - recStart - 4; };
    auto flush = [&] {
        set16(&out[recStart + 2], uint16_t(used()));
        open(rt::Continue);
    };
    open(rt::Sst);
    put32(out, totalRefs);
    put32(out, uint32_t(strings_.size()));
    std::u16string scratch;
    for (const Str& str : strings_) {
        const Rich& s = richOf(str);
        const std::string& utf8 = str.utf8;
        // The characters: ASCII text as it stands, anything else as UTF-16.
        const std::u16string* chars = &s.chars;
        bool ascii = s.chars.empty() && utf8.size() <= 32767 &&
                     std::all_of(utf8.begin(), utf8.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (s.chars.empty() && !ascii) {
            scratch = utf8ToUtf16(utf8);
            if (scratch.size() > 32767) scratch.resize(32767);
            chars = &scratch;
        }
        size_t count = ascii ? utf8.size() : chars->size();
        bool wide = !ascii &&
                    std::any_of(chars->begin(), chars->end(), [](char16_t c) { return c > 0xFF; });
        size_t charSize = wide ? 2 : 1;
        size_t header = 3 + (s.runs.empty() ? 0 : 2) + (s.ext.empty() ? 0 : 4);
        if (used() + header + (count == 0 ? 0 : charSize) > kMaxRecordData) flush();
        starts.emplace_back(out.size(), recStart);
        put16(out, uint16_t(count));
        put8(out, uint8_t((wide ? 1 : 0) | (s.ext.empty() ? 0 : 4) | (s.runs.empty() ? 0 : 8)));
        if (!s.runs.empty()) put16(out, uint16_t(s.runs.size() / 4));
        if (!s.ext.empty()) put32(out, uint32_t(s.ext.size()));
        for (size_t done = 0; done < count;) {
            size_t room = (kMaxRecordData - used()) / charSize;
            if (room == 0) {
                flush();
                put8(out, wide ? 1 : 0);  // split string: the continuation repeats the option
                continue;
            }
            size_t n = std::min(room, count - done);
            size_t at = out.size();
            out.resize(at + n * charSize);
            uint8_t* p = out.data() + at;
            if (ascii) {
                std::memcpy(p, utf8.data() + done, n);
                done += n;
                continue;
            }
            for (size_t k = 0; k < n; ++k) {
                char16_t c = (*chars)[done + k];
                if (wide) {
                    set16(p, c);
                    p += 2;
                } else {
                    *p++ = uint8_t(c);
                }
            }
            done += n;
        }
        for (size_t i = 0; i < s.runs.size(); i += 4) {
            if (used() + 4 > kMaxRecordData) flush();
            out.insert(out.end(), s.runs.begin() + i, s.runs.begin() + i + 4);
        }
        for (uint8_t b : s.ext) {
            if (used() + 1 > kMaxRecordData) flush();
            out.push_back(b);
        }
    }
    set16(&out[recStart + 2], uint16_t(used()));
}

size_t SharedStrings::sizeHint() const {
    size_t size = 16;
    for (const Bytes& b : original_) size += 4 + b.size();
    if (originalCount_ != strings_.size()) {
        for (const Str& s : strings_) {
            const Rich& r = richOf(s);
            size += 9 + 2 * std::max(s.utf8.size(), r.chars.size()) + r.runs.size() + r.ext.size();
        }
        size += size / kMaxRecordData * 5;  // CONTINUE headers and repeated option bytes
    }
    return size + strings_.size() + 64;  // EXTSST
}

void SharedStrings::write(Bytes& out, uint32_t totalRefs) const {
    std::vector<std::pair<size_t, size_t>> starts;  // (string position, its record's position)
    starts.reserve(strings_.size());
    if (originalCount_ == strings_.size())
        writeOriginal(out, totalRefs, starts);
    else
        writeRebuilt(out, totalRefs, starts);
    // EXTSST: the stream position of every dsst-th string and its offset inside its record
    // (record header included), for readers that seek into the table.
    size_t dsst = std::max<size_t>(8, strings_.size() / 128 + 1);
    Bytes ext;
    put16(ext, uint16_t(dsst));
    for (size_t i = 0; i < starts.size(); i += dsst) {
        put32(ext, uint32_t(starts[i].first));
        put16(ext, uint16_t(starts[i].first - starts[i].second));
        put16(ext, 0);
    }
    writeRecord(out, rt::ExtSst, ext.data(), ext.size());
}

}  // namespace xls
