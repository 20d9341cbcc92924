// Writing the shared string table: the SST record with its CONTINUE records, and EXTSST.
#include <algorithm>
#include <cstring>

#include "xls/BiffFormat.h"
#include "xls/FastPaths.h"
#include "xls/SharedStrings.h"

namespace xls {

namespace us = biff::str;

// Writes records straight into a buffer sized in advance: each record's length is filled in
// when it is closed. Notes the start of every spacing-th string for EXTSST.
class SharedStrings::RecordCursor {
  public:
    RecordCursor(Bytes& out, size_t spacing, ExtSstStarts& starts)
        : out_(out), spacing_(spacing), starts_(starts) {}

    // Grows the buffer by `bound` bytes, the most that will be written.
    void begin(size_t bound) {
        const size_t base = out_.size();
        out_.resize(base + bound);
        begin_ = out_.data();
        p = begin_ + base;
    }
    // Cuts the buffer to what was written.
    void end() { out_.resize(size_t(p - begin_)); }
    void open(uint16_t type) {
        record_ = p;
        set16(p + biff::header::kType, type);
        p += kRecordHeaderSize;
    }
    void close() { set16(record_ + biff::header::kLength, uint16_t(used())); }
    // Closes the record and opens a CONTINUE.
    void flush() {
        close();
        open(rt::Continue);
    }
    size_t used() const { return size_t(p - record_) - kRecordHeaderSize; }
    // Writes `count` characters of 1 byte, or 2 when `wide`, through `put(to, from, n)`, which
    // writes characters from..from+n-1 at `to`. Characters that do not fit go on in a CONTINUE
    // record that starts with the option byte again.
    template <class Put>
    void writeChars(size_t count, bool wide, const Put& put) {
        const size_t charSize = wide ? 2 : 1;
        for (size_t done = 0; done < count;) {
            const size_t room = (kMaxRecordData - used()) / charSize;
            if (room == 0) {
                flush();
                *p++ = wide ? us::kWide : 0;
                continue;
            }
            const size_t n = std::min(room, count - done);
            put(p, done, n);
            p += n * charSize;
            done += n;
        }
    }
    // Before string `i` is written at p.
    void startString(size_t i) {
        if (i != nextStart_) return;
        starts_.emplace_back(size_t(p - begin_), size_t(record_ - begin_));
        nextStart_ += spacing_;
    }

    uint8_t* p = nullptr;  // where the next byte goes
    // Room for the text of a string being converted.
    std::string narrow;
    std::u16string utf16;

  private:
    Bytes& out_;
    uint8_t* begin_ = nullptr;
    uint8_t* record_ = nullptr;  // the open record's header
    const size_t spacing_;
    size_t nextStart_ = 0;  // the next string whose start EXTSST gives
    ExtSstStarts& starts_;
};

size_t SharedStrings::sizeHint() const {
    size_t size = 16;
    for (const Bytes& b : original_) size += kRecordHeaderSize + b.size();
    if (originalCount_ != strings_.size()) size += rebuiltBound();
    return size + strings_.size() + 64;  // EXTSST: 8 bytes per spacing (at least 8) strings
}

size_t SharedStrings::write(Bytes& out, uint32_t totalRefs) const {
    // EXTSST: the stream position of every spacing-th string and its offset inside its record
    // (record header included), for readers that seek into the table.
    const size_t spacing = extSstSpacing(strings_.size());
    ExtSstStarts starts;
    starts.reserve(strings_.size() / spacing + 1);
    // Both ways the field is the first of the SST record's data.
    size_t field = out.size() + kRecordHeaderSize + biff::sst::kTotalRefs;
    if (originalCount_ == strings_.size()) {
        // A stored SST too short to hold the total (which ends where the unique count starts).
        if (original_.empty() || original_[0].size() < biff::sst::kUniqueCount) field = kNoField;
        writeOriginal(out, totalRefs, spacing, starts);
    } else {
        RecordCursor cursor(out, spacing, starts);
        writeRebuilt(totalRefs, cursor);
    }
    writeExtSst(out, spacing, starts);
    return field;
}

void SharedStrings::writeExtSst(Bytes& out, size_t spacing, const ExtSstStarts& starts) {
    using namespace biff::extSst;
    const size_t length = kEntries + kEntrySize * starts.size();
    const size_t at = out.size();
    out.resize(at + kRecordHeaderSize + length);
    uint8_t* p = out.data() + at;
    set16(p + biff::header::kType, rt::ExtSst);
    set16(p + biff::header::kLength, uint16_t(length));
    p += kRecordHeaderSize;
    set16(p + kSpacing, uint16_t(spacing));
    p += kEntries;
    for (const auto& [string, record] : starts) {
        set32(p + kStreamPos, uint32_t(string));
        set16(p + kInRecord, uint16_t(string - record));
        set16(p + kReserved, 0);
        p += kEntrySize;
    }
}

void SharedStrings::writeOriginal(Bytes& out, uint32_t totalRefs, size_t spacing,
                                  ExtSstStarts& starts) const {
    std::vector<size_t> recordPos;
    for (size_t i = 0; i < original_.size(); ++i) {
        recordPos.push_back(out.size());
        const Bytes& data = original_[i];
        writeRecord(out, i == 0 ? rt::Sst : rt::Continue, data.data(), data.size());
        if (i == 0 && data.size() >= biff::sst::kUniqueCount)
            set32(&out[recordPos[0] + kRecordHeaderSize + biff::sst::kTotalRefs], totalRefs);
    }
    // The table holds the `unique` strings it was read with, so the spacing is startStep_.
    if (spacing != startStep_) return;
    for (const OriginalStart& s : starts_)
        starts.emplace_back(recordPos[s.record] + kRecordHeaderSize + s.offset,
                            recordPos[s.record]);
}

// At least the bytes writeRebuilt gives: each string's 3-byte header, a character of a 7-bit
// ASCII text per byte of its UTF-8 and of any other text at most two bytes per UTF-8 byte (a
// UTF-16 unit never takes fewer), what rich strings add, and each CONTINUE's header and repeated
// option byte. A record is closed with fewer than kMostUnused bytes of its room left (a string's
// longest header with a wide first character, or a formatting run, that did not fit).
size_t SharedStrings::rebuiltBound() const {
    constexpr size_t kMostUnused = 16;
    const size_t payload = biff::sst::kStrings + us::kHeaderSize * strings_.size() + textBytes_ +
                           nonAsciiBytes_ + richBytes_;
    const size_t continues = payload / (kMaxRecordData - kMostUnused) + 1;
    return kRecordHeaderSize + payload + continues * (kRecordHeaderSize + 1);
}

// One pass straight into the cursor's buffer, grown once to the bound and cut to what was
// written.
void SharedStrings::writeRebuilt(uint32_t totalRefs, RecordCursor& w) const {
    w.begin(rebuiltBound());
    w.open(rt::Sst);
    set32(w.p + biff::sst::kTotalRefs, totalRefs);
    set32(w.p + biff::sst::kUniqueCount, uint32_t(strings_.size()));
    w.p += biff::sst::kStrings;
    for (size_t i = 0; i < strings_.size(); ++i) {
        const StringEntry& str = strings_[i];
        // Fast path: plain ASCII text that fits in the record as it is; the bytes writeString
        // gives.
        if (kFastPaths && str.rich == kPlain && str.ascii &&
            w.used() + us::kHeaderSize + str.size <= kMaxRecordData) {
            w.startString(i);
            uint8_t* p = w.p;
            set16(p + us::kCharCount, uint16_t(str.size));
            p[us::kOptions] = 0;
            copyBytes(p + us::kHeaderSize, reinterpret_cast<const uint8_t*>(text(i).data()),
                      str.size);
            w.p = p + us::kHeaderSize + str.size;
            continue;
        }
        writeString(w, i);
    }
    w.close();
    w.end();
}

// Writes string `i`: its header, its characters, its formatting runs and its phonetic data. A
// string's header and first character are never split.
void SharedStrings::writeString(RecordCursor& w, size_t i) const {
    const StringEntry& str = strings_[i];
    const char* utf8 = text(i).data();
    const Rich& s = richOf(str);
    // The characters: ASCII text as it stands, anything else as UTF-16.
    const std::u16string* chars = &s.chars;
    const bool ascii = str.ascii && s.chars.empty() && str.size <= kMaxStringChars;
    if (s.chars.empty() && !ascii) {
        w.narrow.assign(utf8, str.size);
        w.utf16 = utf8ToUtf16(w.narrow);
        if (w.utf16.size() > kMaxStringChars) w.utf16.resize(kMaxStringChars);
        chars = &w.utf16;
    }
    const size_t count = ascii ? str.size : chars->size();
    const bool wide =
        !ascii && std::any_of(chars->begin(), chars->end(), [](char16_t c) { return c > 0xFF; });
    const size_t header = us::kHeaderSize + (s.runs.empty() ? 0 : us::kRunCountSize) +
                          (s.ext.empty() ? 0 : us::kPhoneticSizeSize);
    if (w.used() + header + (count == 0 ? 0 : wide ? 2 : 1) > kMaxRecordData) w.flush();
    w.startString(i);
    uint8_t*& p = w.p;
    set16(p + us::kCharCount, uint16_t(count));
    p[us::kOptions] = uint8_t((wide ? us::kWide : 0) | (s.ext.empty() ? 0 : us::kPhonetic) |
                              (s.runs.empty() ? 0 : us::kRichText));
    p += us::kHeaderSize;
    if (!s.runs.empty()) {
        set16(p, uint16_t(s.runs.size() / us::kRunSize));
        p += us::kRunCountSize;
    }
    if (!s.ext.empty()) {
        set32(p, uint32_t(s.ext.size()));
        p += us::kPhoneticSizeSize;
    }
    if (ascii)
        w.writeChars(count, false,
                     [&](uint8_t* to, size_t from, size_t n) { std::memcpy(to, utf8 + from, n); });
    else if (wide)
        w.writeChars(count, true, [&](uint8_t* to, size_t from, size_t n) {
            for (size_t k = 0; k < n; ++k) set16(to + 2 * k, (*chars)[from + k]);
        });
    else
        w.writeChars(count, false, [&](uint8_t* to, size_t from, size_t n) {
            for (size_t k = 0; k < n; ++k) to[k] = uint8_t((*chars)[from + k]);
        });
    // Formatting runs are never split; phonetic data are split anywhere.
    for (size_t k = 0; k < s.runs.size(); k += us::kRunSize) {
        if (w.used() + us::kRunSize > kMaxRecordData) w.flush();
        std::memcpy(p, s.runs.data() + k, us::kRunSize);
        p += us::kRunSize;
    }
    for (size_t done = 0; done < s.ext.size();) {
        const size_t n = std::min(kMaxRecordData - w.used(), s.ext.size() - done);
        if (n == 0) {
            w.flush();
            continue;
        }
        std::memcpy(p, s.ext.data() + done, n);
        p += n;
        done += n;
    }
}

}  // namespace xls
