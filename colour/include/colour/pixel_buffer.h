#pragma once

#include <array>
#include <span>

#include "colour/vec.h"

namespace colour {

// Three 32-bit floats side by side: R, G, B (or X, Y, B in an Xyb frame).
using Pixel = std::array<float, 3>;
static_assert(sizeof(Pixel) == 12 && alignof(Pixel) == alignof(float));

// Pixels row by row; the value of column x in row y stands at index y * width + x.
using PixelBuffer = Vec<Pixel>;

// The buffer as one flat run of 3 * size() floats, for operations that treat every value alike.
inline std::span<float> flat(PixelBuffer& buffer) {
  return {reinterpret_cast<float*>(buffer.data()), buffer.size() * 3};
}
inline std::span<const float> flat(const PixelBuffer& buffer) {
  return {reinterpret_cast<const float*>(buffer.data()), buffer.size() * 3};
}

}  // namespace colour
