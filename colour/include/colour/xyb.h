#pragma once

#include <cstdint>

#include "colour/linear_rgb.h"
#include "colour/pixel_buffer.h"

namespace colour {

// A frame in the XYB colour space; X, Y, B per pixel.
class Xyb {
 public:
  // Takes over the frame's buffer and rewrites it in place; cannot fail, allocates nothing.
  static Xyb from(LinearRgb frame);

  PixelBuffer data;
  std::uint64_t width;
  std::uint64_t height;

 private:
  Xyb(PixelBuffer d, std::uint64_t w, std::uint64_t h) : data(std::move(d)), width(w), height(h) {}
};

// Approximate cube root with a 64-bit refinement; exposed for tests.
float fast_cbrt(float v);

// One linear BT.709 pixel (R, G, B) to (X, Y, B); the reference for any vectorised form of
// Xyb::from.
Pixel xyb_pixel(const Pixel& rgb);

}  // namespace colour
