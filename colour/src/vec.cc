#include "colour/vec.h"

#include <cstdint>
#include <cstdio>
#include <string>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

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

void prefault_pages(void* data, std::size_t bytes) {
#if defined(__linux__)
#ifndef MADV_POPULATE_WRITE
  constexpr int MADV_POPULATE_WRITE = 23;  // Linux 5.14; older kernels refuse it
#endif
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + page - 1) & ~(page - 1);
  const std::uintptr_t last = (begin + bytes) & ~(page - 1);
  // Only a hint: mapped pages keep their contents, and if it is refused they fault in as usual.
  if (last > first)
    (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
  (void)data;
  (void)bytes;
#endif
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
