#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace xls {

// A vector of trivially copyable elements whose first N live inside the object, the rest on the
// heap once it holds more. The elements are reached through one pointer wherever they lie, so
// that walking them takes no test of where; they move with memcpy. Pointers to elements stay
// valid until an insert() or erase() (push_back() and pushRoom() move none while room is left).
template <typename T, size_t N>
class InlineVector {
    static_assert(std::is_trivially_copyable_v<T>, "elements move with memcpy");
    static_assert(N > 0, "at least one element inline");

  public:
    InlineVector() = default;
    InlineVector(const InlineVector& other) { insert(begin(), other.begin(), other.end()); }
    InlineVector(InlineVector&& other) noexcept { take(other); }
    InlineVector& operator=(InlineVector other) noexcept {
        release();
        take(other);
        return *this;
    }
    ~InlineVector() { release(); }

    T* begin() { return data_; }
    T* end() { return data_ + size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }
    size_t size() const { return size_; }
    size_t capacity() const { return capacity_; }
    bool empty() const { return size_ == 0; }
    bool onHeap() const { return data_ != inline_; }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }
    T& front() { return data_[0]; }
    T& back() { return data_[size_ - 1]; }
    const T& front() const { return data_[0]; }
    const T& back() const { return data_[size_ - 1]; }

    void push_back(const T& value) {
        if (T* room = pushRoom())
            *room = value;
        else
            insert(end(), &value, &value + 1);
    }
    // The element one past the last, now the last (its value as it was left), or null when no
    // room is left: the caller writes it where it lies.
    T* pushRoom() { return size_ < capacity_ ? data_ + size_++ : nullptr; }
    T* insert(T* at, const T& value) { return insert(at, &value, &value + 1); }
    // Inserts [first, last) before `at`; returns where the first inserted element lies. The
    // range must not lie in this vector.
    T* insert(T* at, const T* first, const T* last);
    // Removes [first, last); returns where the element after them lies now.
    T* erase(T* first, T* last);
    T* erase(T* at) { return erase(at, at + 1); }

  private:
    void take(InlineVector& other);
    void release();

    T inline_[N];
    T* data_ = inline_;  // inline_, or the heap's elements once more than N are needed
    uint32_t size_ = 0, capacity_ = N;
};

template <typename T, size_t N>
T* InlineVector<T, N>::insert(T* at, const T* first, const T* last) {
    const size_t i = size_t(at - begin()), n = size_t(last - first);
    if (size_ + n > capacity_) {
        // Doubles, so that elements added one by one are moved a bounded number of times.
        const size_t capacity = std::max<size_t>(size_ + n, 2 * size_t(capacity_));
        T* grown = new T[capacity];
        std::memcpy(static_cast<void*>(grown), data_, size_ * sizeof(T));
        if (onHeap()) delete[] data_;
        data_ = grown;
        capacity_ = uint32_t(capacity);
    }
    std::memmove(static_cast<void*>(data_ + i + n), data_ + i, (size_ - i) * sizeof(T));
    std::memcpy(static_cast<void*>(data_ + i), first, n * sizeof(T));
    size_ += uint32_t(n);
    return data_ + i;
}

template <typename T, size_t N>
T* InlineVector<T, N>::erase(T* first, T* last) {
    std::memmove(static_cast<void*>(first), last, size_t(end() - last) * sizeof(T));
    size_ -= uint32_t(last - first);
    return first;
}

template <typename T, size_t N>
void InlineVector<T, N>::take(InlineVector& other) {
    size_ = other.size_;
    capacity_ = other.capacity_;
    if (other.onHeap()) {
        data_ = other.data_;
    } else {
        std::memcpy(static_cast<void*>(inline_), other.inline_, sizeof inline_);
        data_ = inline_;
    }
    other.data_ = other.inline_;
    other.size_ = 0;
    other.capacity_ = N;
}

template <typename T, size_t N>
void InlineVector<T, N>::release() {
    if (onHeap()) delete[] data_;
    data_ = inline_;
    size_ = 0;
    capacity_ = N;
}

}  // namespace xls
