#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <type_traits>
#include <utility>

#include "colour/invariant.h"

namespace colour {

// Largest byte size a buffer may have: 2^63 - 1 rounded down to the element alignment.
constexpr std::uint64_t max_buffer_bytes(std::size_t align) {
  return 0x7FFFFFFFFFFFFFFFull & ~static_cast<std::uint64_t>(align - 1);
}

// Byte size of `count` elements; overflow or a size past the limit is a broken invariant.
std::size_t checked_byte_size(std::uint64_t count, std::size_t elem_size, std::size_t align);

// Memory the platform refuses ends the process at once, after this report.
[[noreturn]] void handle_alloc_failure(std::size_t bytes);

// Raw checked allocation used by every buffer of the system.
void* checked_alloc(std::size_t bytes, bool zeroed);
// Maps the pages of a fresh buffer in one call where the system offers it (Linux), instead of
// one page fault per page on first touch; elsewhere it does nothing.
void prefault_pages(void* data, std::size_t bytes);
void* checked_realloc(void* old, std::size_t bytes);

// A growable, move-only array of trivially copyable values. Copies are explicit (clone), so a
// frame is never duplicated by accident. Every allocation goes through the checked helpers.
template <typename T>
class Vec {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  Vec() = default;
  Vec(const Vec&) = delete;
  Vec& operator=(const Vec&) = delete;
  Vec(Vec&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  Vec& operator=(Vec&& other) noexcept {
    if (this != &other) {
      std::free(data_);
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
  }
  ~Vec() { std::free(data_); }

  // n zero bytes' worth of elements (all-zero bit patterns: 0.0f for floats).
  static Vec zeroed(std::uint64_t n) {
    Vec v;
    v.allocate(n, true);
    v.size_ = static_cast<std::size_t>(n);
    return v;
  }
  // Zero-filled, for a buffer that the caller writes whole right away from data it already
  // holds (never from a file still being read, whose header may overstate its size): large
  // ones get their pages mapped at once.
  static Vec zeroed_to_fill(std::uint64_t n) {
    Vec v = zeroed(n);
    const std::size_t bytes = v.size_ * sizeof(T);
    if (bytes >= (std::size_t{4} << 20)) prefault_pages(v.data_, bytes);
    return v;
  }
  static Vec with_capacity(std::uint64_t n) {
    Vec v;
    v.allocate(n, false);
    return v;
  }
  static Vec from(std::span<const T> values) {
    Vec v = with_capacity(values.size());
    if (!values.empty()) std::memcpy(v.data_, values.data(), values.size() * sizeof(T));
    v.size_ = values.size();
    return v;
  }

  // Exact-size copy in one bulk copy.
  Vec clone() const { return from(span()); }

  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T& at(std::size_t i) {
    check_index(i);
    return data_[i];
  }
  const T& at(std::size_t i) const {
    check_index(i);
    return data_[i];
  }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  std::span<T> span() { return {data_, size_}; }
  std::span<const T> span() const { return {data_, size_}; }

  void push_back(const T& value) {
    if (size_ == capacity_) grow(size_ + 1);
    data_[size_++] = value;
  }
  // Shortens without touching the storage; never grows.
  void truncate(std::size_t n) {
    if (n < size_) size_ = n;
  }
  void reserve(std::uint64_t n) {
    if (n > capacity_) grow(n);
  }

 private:
  void check_index(std::size_t i) const {
    if (i >= size_) {
      fail_invariant("index out of bounds: the len is " + std::to_string(size_) +
                     " but the index is " + std::to_string(i));
    }
  }
  void allocate(std::uint64_t n, bool zero) {
    std::size_t bytes = checked_byte_size(n, sizeof(T), alignof(T));
    if (bytes != 0) data_ = static_cast<T*>(checked_alloc(bytes, zero));
    capacity_ = static_cast<std::size_t>(n);
  }
  void grow(std::uint64_t wanted) {
    std::uint64_t n = capacity_ * 2 > wanted ? capacity_ * 2 : wanted;
    if (n < 4) n = 4;
    std::size_t bytes = checked_byte_size(n, sizeof(T), alignof(T));
    data_ = static_cast<T*>(checked_realloc(data_, bytes));
    capacity_ = static_cast<std::size_t>(n);
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace colour
