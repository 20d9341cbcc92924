#include "xls/Record.h"

#include <algorithm>

namespace xls {

void writeRecord(Bytes& out, uint16_t type, const uint8_t* data, size_t size) {
    put16(out, type);
    put16(out, uint16_t(size));
    out.insert(out.end(), data, data + size);
}

size_t RecordBuffer::scanTo(size_t i) const {
    const uint8_t* const base = bytes();
    const size_t end = byteSize();
    // Room for as many starts as records of 12 bytes, the shortest usual ones, would need.
    if (at_.capacity() == 0) at_.reserve(end / 12 + 1);
    // Records up to the one asked for, or to the end when it is past it.
    size_t pos = scanned_;
    for (size_t n = at_.size(); n <= i && pos < end; ++n) {
        at_.push_back(uint32_t(pos));
        pos += recordSize(base + pos);
    }
    scanned_ = pos;
    return i < at_.size() ? at_[i] : end;
}

size_t RecordBuffer::scanAll() const {
    scanTo(size_t(-1));
    return at_.size();
}

size_t RecordBuffer::indexAt(size_t at) const {
    size();  // the index made to the end
    return size_t(std::lower_bound(at_.begin(), at_.end(), uint32_t(at)) - at_.begin());
}

void RecordBuffer::insert(size_t at, uint16_t type, const uint8_t* data, size_t size) {
    const size_t where = offset(at);
    const size_t grown = kRecordHeaderSize + size;
    bytes_.insert(bytes_.begin() + std::ptrdiff_t(start_ + where), grown, uint8_t(0));
    uint8_t* record = bytes() + where;
    set16(record + biff::header::kType, type);
    set16(record + biff::header::kLength, uint16_t(size));
    std::copy(data, data + size, record + kRecordHeaderSize);
    if (!kFastPaths) {
        forgetFrom(0, 0);  // the index is made again from the first record
    } else if (at < at_.size()) {
        // Fast path: the index made so far stays, moved past the new record; the same starts
        // as a new scan finds. Else the index ends before the new record.
        at_.insert(at_.begin() + std::ptrdiff_t(at), uint32_t(where));
        for (size_t k = at + 1; k < at_.size(); ++k) at_[k] += uint32_t(grown);
        scanned_ += grown;
    }
}

void RecordBuffer::forgetFrom(size_t at, size_t where) {
    at_.resize(std::min(at_.size(), at));
    scanned_ = where;
}

void ChunkReader::advance() {
    while (chunk_ < chunks_.size() && pos_ >= chunks_[chunk_]->size()) {
        ++chunk_;
        pos_ = 0;
    }
}

bool ChunkReader::atEnd() {
    advance();
    return chunk_ >= chunks_.size();
}

uint8_t ChunkReader::byte() {
    advance();
    if (chunk_ >= chunks_.size()) throw OutOfBounds{};
    return (*chunks_[chunk_])[pos_++];
}

ChunkReader::Text ChunkReader::readString(int cchBytes, bool* cut) {
    Text t;
    if (cut == nullptr) return readInto(t, cchBytes);
    *cut = false;
    try {
        readInto(t, cchBytes);
    } catch (const OutOfBounds&) {
        *cut = true;
    }
    return t;
}

bool ChunkReader::readInPlace(InPlace& s) {
    advance();
    if (chunk_ >= chunks_.size()) return false;
    const Bytes& c = *chunks_[chunk_];
    const uint8_t* d = c.data() + pos_;
    const size_t left = c.size() - pos_;
    size_t head = 3;
    if (left < head) return false;
    const uint8_t flags = d[2];
    size_t runBytes = 0, extBytes = 0;
    if (flags & biff::str::kRichText) {
        if (left < head + 2) return false;
        runBytes = size_t(get16(d + head)) * biff::str::kRunSize;
        head += 2;
    }
    if (flags & biff::str::kPhonetic) {
        if (left < head + 4) return false;
        extBytes = get32(d + head);
        head += 4;
    }
    const size_t count = get16(d);
    const bool wide = flags & biff::str::kWide;
    const size_t charBytes = wide ? 2 * count : count;
    if (charBytes > left - head || runBytes + extBytes > left - head - charBytes) return false;
    s.chars = d + head;
    s.count = count;
    s.wide = wide;
    s.runs = s.chars + charBytes;
    s.runBytes = runBytes;
    s.ext = s.runs + runBytes;
    s.extBytes = extBytes;
    s.chunk = chunk_;
    s.offset = pos_;
    pos_ += head + charBytes + runBytes + extBytes;
    return true;
}

ChunkReader::Text& ChunkReader::readInto(Text& t, int cchBytes) {
    advance();
    t.chunk = chunk_;
    t.offset = pos_;
    size_t cch = byte();
    if (cchBytes == 2) cch |= size_t(byte()) << 8;
    if (cch == 0 && atEnd()) return t;  // an empty string written without its option byte
    uint8_t flags = byte();
    bool wide = flags & biff::str::kWide;
    size_t runs = 0, ext = 0;
    if (flags & biff::str::kRichText) {
        runs = byte();
        runs |= size_t(byte()) << 8;
    }
    if (flags & biff::str::kPhonetic) {
        for (int i = 0; i < 4; ++i) ext |= size_t(byte()) << (8 * i);
    }
    t.chars.reserve(cch);
    while (t.chars.size() < cch) {
        size_t left = chunks_[chunk_]->size() - pos_;
        if (left == 0 || (wide && left == 1)) {
            // The characters continue in the next record, which repeats the option byte. A
            // character never straddles two records, so a lone byte left over is padding (some
            // writers leave one), and an empty CONTINUE carries nothing.
            mended_ |= left == 1;
            do {
                ++chunk_;
                mended_ |= chunk_ < chunks_.size() && chunks_[chunk_]->empty();
            } while (chunk_ < chunks_.size() && chunks_[chunk_]->empty());
            pos_ = 0;
            if (chunk_ >= chunks_.size()) throw OutOfBounds{};
            wide = (*chunks_[chunk_])[pos_++] & biff::str::kWide;
            continue;
        }
        // As many characters as this record holds, in one go.
        const uint8_t* d = chunks_[chunk_]->data() + pos_;
        size_t at = t.chars.size(), n = std::min(cch - at, wide ? left / 2 : left);
        t.chars.resize(at + n);
        char16_t* to = &t.chars[at];
        if (wide) {
            for (size_t k = 0; k < n; ++k) to[k] = char16_t(get16(d + 2 * k));
            pos_ += 2 * n;
        } else {
            for (size_t k = 0; k < n; ++k) to[k] = char16_t(d[k]);
            pos_ += n;
        }
    }
    // Runs and phonetic data larger than any workbook stream are a fault, not an allocation.
    const size_t runBytes = runs * biff::str::kRunSize;
    if (runBytes + ext > (size_t(1) << 24)) throw OutOfBounds{};
    for (size_t i = 0; i < runBytes; ++i) t.runs.push_back(byte());
    for (size_t i = 0; i < ext; ++i) t.ext.push_back(byte());
    return t;
}

}  // namespace xls
