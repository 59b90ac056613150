#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "colour/invariant.h"
#include "colour/vec.h"

namespace metric {

// Three planes of 32-bit floats in the order X, Y, B, each row by row (column x of row y at
// y * width + x). The triple carries no size: every operation takes width and height beside it.
struct PlaneTriple {
  std::array<colour::Vec<float>, 3> planes;

  colour::Vec<float>& operator[](std::size_t c) { return planes[c]; }
  const colour::Vec<float>& operator[](std::size_t c) const { return planes[c]; }

  static PlaneTriple zeroed(std::uint64_t n) {
    return PlaneTriple{{colour::Vec<float>::zeroed(n), colour::Vec<float>::zeroed(n),
                        colour::Vec<float>::zeroed(n)}};
  }
};

// A dimension halved, rounded up: the size of the next scale.
inline std::uint64_t half_up(std::uint64_t n) { return n / 2 + (n & 1); }

// width x height as a value count; a product past 64 bits is a broken invariant, reported like
// any other buffer too large to exist.
inline std::uint64_t plane_length(std::uint64_t width, std::uint64_t height) {
  std::uint64_t n = 0;
  if (__builtin_mul_overflow(width, height, &n)) colour::fail_invariant("capacity overflow");
  return n;
}

}  // namespace metric
