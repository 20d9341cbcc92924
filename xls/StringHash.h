#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace xls {

// The high bit of every byte of a 64-bit word: a word of 7-bit ASCII bytes has none of them.
constexpr uint64_t kHighBits = 0x8080808080808080ull;

namespace stringhash {

inline uint64_t load64(const void* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

inline uint32_t load32(const void* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

// The two halves of the 128-bit product of a and b, xor-ed: every bit of the result depends on
// every bit of both (wyhash's "mum" step).
inline uint64_t foldedProduct(uint64_t a, uint64_t b) {
    const unsigned __int128 m = static_cast<unsigned __int128>(a) * b;
    return uint64_t(m) ^ uint64_t(m >> 64);
}

}  // namespace stringhash

// A multiply-fold hash of a short text, for the open-addressed index of the shared strings. It
// is no published function: it takes wyhash's mixing step (foldedProduct) and its two secret
// constants, and the golden-ratio constant for the length, but its rounds are its own, so its
// values are pinned by a test rather than by another library.
//
// Two words that between them hold every byte of the text (its first and last eight, or four,
// bytes; up to three bytes packed into one word) are folded by one wide multiply; a text longer
// than 16 bytes folds its other words in first. Every byte is read by whole-word loads, with
// native byte order, so the values are those of a little-endian machine. The result depends on
// the text's bytes only, never on where they lie.
//
// `seen` gets the words read or-ed together. Every byte of the text lies whole in a byte of one
// of them, so the text is 7-bit ASCII exactly when (seen & kHighBits) == 0.
[[gnu::always_inline]] inline uint32_t multiplyFoldHash(std::string_view s, uint64_t& seen) {
    using stringhash::foldedProduct;
    using stringhash::load32;
    using stringhash::load64;
    // wyhash's constants; each has bytes with the high bit set, which no 7-bit text's word has.
    constexpr uint64_t kA = 0xA0761D6478BD642Full, kB = 0xE7037ED1A0B428DBull;
    constexpr uint64_t kGoldenRatio = 0x9E3779B97F4A7C15ull;  // 2^64 / phi
    const char* p = s.data();
    const size_t n = s.size();
    uint64_t h = uint64_t(n) * kGoldenRatio;
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

inline uint32_t multiplyFoldHash(std::string_view s) {
    uint64_t seen;
    return multiplyFoldHash(s, seen);
}

}  // namespace xls
