#include "colour/vec.h"

#include <cstdio>
#include <string>

namespace colour {

std::size_t checked_byte_size(std::uint64_t count, std::size_t elem_size, std::size_t align) {
  std::uint64_t bytes = 0;
  if (__builtin_mul_overflow(count, static_cast<std::uint64_t>(elem_size), &bytes) ||
      bytes > max_buffer_bytes(align) || bytes > SIZE_MAX) {
    fail_invariant("capacity overflow");
  }
  return static_cast<std::size_t>(bytes);
}

void handle_alloc_failure(std::size_t bytes) {
  std::fprintf(stderr, "memory allocation of %zu bytes failed\n", bytes);
  std::fflush(stderr);
  std::abort();
}

void* checked_alloc(std::size_t bytes, bool zeroed) {
  void* p = zeroed ? std::calloc(bytes, 1) : std::malloc(bytes);
  if (p == nullptr) handle_alloc_failure(bytes);
  return p;
}

void* checked_realloc(void* old, std::size_t bytes) {
  void* p = std::realloc(old, bytes);
  if (p == nullptr) handle_alloc_failure(bytes);
  return p;
}

}  // namespace colour
