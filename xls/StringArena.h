#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "xls/Bytes.h"

namespace xls {

// Texts copied one after the other into blocks that never move: a text is copied once, and
// the address copy() returns stays valid as long as the arena lives (moves included). Nothing
// is freed before the arena is. Blocks double from 1 KB up to 1 MB, so that a long list takes
// few allocations and a short one leaves little room unused; a longer text gets a block of its
// own size.
class StringArena {
  public:
    StringArena() = default;
    StringArena(StringArena&& other) noexcept { *this = std::move(other); }
    StringArena& operator=(StringArena&& other) noexcept;
    StringArena(const StringArena&) = delete;
    StringArena& operator=(const StringArena&) = delete;

    // A copy of the `n` bytes at `text` (not terminated).
    const char* copy(const char* text, size_t n);

  private:
    void newBlock(size_t n);  // room for at least n bytes

    static constexpr size_t kFirstBlock = 1024, kLargestBlock = size_t(1) << 20;  // bytes
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;  // the unused end of the last block
    size_t left_ = 0;       // bytes there
};

inline StringArena& StringArena::operator=(StringArena&& other) noexcept {
    blocks_ = std::move(other.blocks_);
    free_ = other.free_;
    left_ = other.left_;
    other.free_ = nullptr;
    other.left_ = 0;
    return *this;
}

inline const char* StringArena::copy(const char* text, size_t n) {
    if (n > left_) newBlock(n);
    char* at = free_;
    copyBytes(reinterpret_cast<uint8_t*>(at), reinterpret_cast<const uint8_t*>(text), n);
    free_ += n;
    left_ -= n;
    return at;
}

inline void StringArena::newBlock(size_t n) {
    const size_t last =
        blocks_.empty() ? kFirstBlock / 2 : size_t(free_ - blocks_.back().get()) + left_;
    const size_t size = std::max(n, std::min(2 * last, kLargestBlock));
    blocks_.emplace_back(new char[size]);
    free_ = blocks_.back().get();
    left_ = size;
}

}  // namespace xls
