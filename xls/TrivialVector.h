#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

namespace xls {

// A growable array of trivially copyable elements: it grows with realloc, which may extend the
// block where it lies instead of copying it, and push_back() is small enough to stay inline
// where it is called, the growing itself out of line. Moves, never copies. Throws
// std::bad_alloc when memory runs out.
template <class T>
class TrivialVector {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                  "elements are moved by realloc and never destroyed");

  public:
    TrivialVector() = default;
    TrivialVector(TrivialVector&& other) noexcept { *this = std::move(other); }
    TrivialVector& operator=(TrivialVector&& other) noexcept;
    TrivialVector(const TrivialVector&) = delete;
    TrivialVector& operator=(const TrivialVector&) = delete;
    ~TrivialVector() { std::free(data_); }

    size_t size() const { return size_; }
    const T& operator[](size_t i) const { return data_[i]; }
    void reserve(size_t n) {
        if (n > capacity_) reallocate(n);
    }
    void push_back(const T& value) {
        if (size_ == capacity_) reallocate(std::max<size_t>(kFirstCapacity, 2 * capacity_));
        new (data_ + size_++) T(value);
    }

  private:
    static constexpr size_t kFirstCapacity = 16;  // elements
    [[gnu::noinline]] void reallocate(size_t capacity);

    T* data_ = nullptr;
    size_t size_ = 0, capacity_ = 0;
};

template <class T>
TrivialVector<T>& TrivialVector<T>::operator=(TrivialVector&& other) noexcept {
    if (this == &other) return *this;
    std::free(data_);
    data_ = other.data_;
    size_ = other.size_;
    capacity_ = other.capacity_;
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
    return *this;
}

template <class T>
void TrivialVector<T>::reallocate(size_t capacity) {
    void* grown = std::realloc(data_, capacity * sizeof(T));
    if (!grown) throw std::bad_alloc();
    data_ = static_cast<T*>(grown);
    capacity_ = capacity;
}

}  // namespace xls
