#include "xls/SharedStrings.h"

#include <algorithm>

namespace xls {

void SharedStrings::parse(const std::vector<const Record*>& group) {
    present_ = true;
    std::vector<const Bytes*> chunks;
    for (const Record* r : group) {
        original_.push_back(r->data);
    }
    for (const Bytes& b : original_) chunks.push_back(&b);
    ByteReader head(original_[0]);
    head.u32();
    uint32_t unique = head.u32();
    ChunkReader reader(chunks, 8);
    for (uint32_t i = 0; i < unique && !reader.atEnd(); ++i) {
        auto t = reader.readString();
        Str s;
        s.utf8 = utf16ToUtf8(t.chars);
        s.chars = std::move(t.chars);
        s.runs = std::move(t.runs);
        s.ext = std::move(t.ext);
        s.chunk = t.chunk;
        s.offset = t.offset;
        strings_.push_back(std::move(s));
    }
    originalCount_ = strings_.size();
    if (originalCount_ != unique) {
        // The count in the header lies: the table is rebuilt from what was read.
        originalCount_ = size_t(-1);
    }
}

uint32_t SharedStrings::findOrAdd(const std::string& utf8) {
    if (!indexed_) {
        for (size_t i = strings_.size(); i-- > 0;)
            if (strings_[i].runs.empty() && strings_[i].ext.empty())
                plain_[strings_[i].utf8] = uint32_t(i);
        indexed_ = true;
    }
    auto it = plain_.find(utf8);
    if (it != plain_.end()) return it->second;
    Str s;
    s.utf8 = utf8;
    s.chars = utf8ToUtf16(utf8);
    if (s.chars.size() > 32767) s.chars.resize(32767);
    strings_.push_back(std::move(s));
    present_ = true;
    uint32_t index = uint32_t(strings_.size() - 1);
    plain_[utf8] = index;
    return index;
}

void SharedStrings::writeOriginal(Bytes& out, uint32_t totalRefs,
                                  std::vector<std::pair<size_t, size_t>>& starts) const {
    std::vector<size_t> recordPos;
    for (size_t i = 0; i < original_.size(); ++i) {
        recordPos.push_back(out.size());
        Bytes data = original_[i];
        if (i == 0 && data.size() >= 4) set32(data.data(), totalRefs);
        writeRecord(out, i == 0 ? rt::Sst : rt::Continue, data.data(), data.size());
    }
    for (const Str& s : strings_)
        starts.emplace_back(recordPos[s.chunk] + 4 + s.offset, recordPos[s.chunk]);
}

void SharedStrings::writeRebuilt(Bytes& out, uint32_t totalRefs,
                                 std::vector<std::pair<size_t, size_t>>& starts) const {
    size_t recStart = out.size();
    uint16_t recType = rt::Sst;
    Bytes rec;
    auto flush = [&] {
        writeRecord(out, recType, rec.data(), rec.size());
        rec.clear();
        recType = rt::Continue;
        recStart = out.size();
    };
    put32(rec, totalRefs);
    put32(rec, uint32_t(strings_.size()));
    for (const Str& s : strings_) {
        bool wide =
            std::any_of(s.chars.begin(), s.chars.end(), [](char16_t c) { return c > 0xFF; });
        size_t charSize = wide ? 2 : 1;
        size_t header = 3 + (s.runs.empty() ? 0 : 2) + (s.ext.empty() ? 0 : 4);
        if (rec.size() + header + (s.chars.empty() ? 0 : charSize) > kMaxRecordData) flush();
        starts.emplace_back(recStart + 4 + rec.size(), recStart);
        put16(rec, uint16_t(s.chars.size()));
        put8(rec, uint8_t((wide ? 1 : 0) | (s.ext.empty() ? 0 : 4) | (s.runs.empty() ? 0 : 8)));
        if (!s.runs.empty()) put16(rec, uint16_t(s.runs.size() / 4));
        if (!s.ext.empty()) put32(rec, uint32_t(s.ext.size()));
        for (char16_t c : s.chars) {
            if (rec.size() + charSize > kMaxRecordData) {
                flush();
                put8(rec, wide ? 1 : 0);  // split string: the continuation repeats the option
            }
            if (wide)
                put16(rec, c);
            else
                put8(rec, uint8_t(c));
        }
        for (size_t i = 0; i < s.runs.size(); i += 4) {
            if (rec.size() + 4 > kMaxRecordData) flush();
            rec.insert(rec.end(), s.runs.begin() + i, s.runs.begin() + i + 4);
        }
        for (uint8_t b : s.ext) {
            if (rec.size() + 1 > kMaxRecordData) flush();
            rec.push_back(b);
        }
    }
    flush();
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
