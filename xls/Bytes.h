#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Little-endian coding of the file formats' integers and doubles, with bounds-checked reading.
namespace xls {

using Bytes = std::vector<uint8_t>;

// Thrown by ByteReader when a read runs past the end; the engine turns it into a Corrupt Error
// that names the structure being read.
struct OutOfBounds {};

inline uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline double getDouble(const uint8_t* p) {
    uint64_t v = uint64_t(get32(p)) | (uint64_t(get32(p + 4)) << 32);
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}
inline void set16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
// Byte by byte, so that the result is little-endian on any host.
inline void set32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
// Copies `n` bytes that do not overlap. Most records are a few bytes: those up to 16 are copied
// inline, as two overlapping words, instead of through a call to memcpy.
inline void copyBytes(uint8_t* to, const uint8_t* from, size_t n) {
    if (n >= 8 && n <= 16) {
        uint64_t head, tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + n - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + n - 8, &tail, 8);
    } else if (n >= 4 && n < 8) {
        uint32_t head, tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + n - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + n - 4, &tail, 4);
    } else if (n > 0) {
        std::memcpy(to, from, n);
    }
}
inline void put8(Bytes& out, uint8_t v) { out.push_back(v); }
inline void put16(Bytes& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
inline void put32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
inline void putDouble(Bytes& out, double d) {
    uint64_t v;
    std::memcpy(&v, &d, 8);
    put32(out, uint32_t(v));
    put32(out, uint32_t(v >> 32));
}

// Reads fields in order from a byte range; any read past the end throws OutOfBounds.
class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit ByteReader(const Bytes& b) : ByteReader(b.data(), b.size()) {}

    size_t pos() const { return pos_; }
    size_t remaining() const { return size_ - pos_; }
    void need(size_t n) const {
        if (n > size_ - pos_) throw OutOfBounds{};
    }
    void skip(size_t n) {
        need(n);
        pos_ += n;
    }
    uint8_t u8() {
        need(1);
        return data_[pos_++];
    }
    uint16_t u16() {
        need(2);
        pos_ += 2;
        return get16(data_ + pos_ - 2);
    }
    uint32_t u32() {
        need(4);
        pos_ += 4;
        return get32(data_ + pos_ - 4);
    }
    double f64() {
        need(8);
        pos_ += 8;
        return getDouble(data_ + pos_ - 8);
    }
    const uint8_t* take(size_t n) {
        need(n);
        pos_ += n;
        return data_ + pos_ - n;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// UTF-16 (little-endian code units) to UTF-8 and back; unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(const std::u16string& s);
std::u16string utf8ToUtf16(const std::string& s);

}  // namespace xls
