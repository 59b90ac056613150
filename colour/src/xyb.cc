#include "colour/xyb.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "simd/kernels.h"

namespace colour {
namespace {

constexpr float f32(std::uint32_t bits) { return std::bit_cast<float>(bits); }

constexpr float kBias = f32(0x3B789536u);  // 0.0037930734
// Stored, not computed: equal in magnitude to fast_cbrt(kBias) bit for bit, so black maps to 0.
constexpr float kNegCbrtBias = f32(0xBE1FB275u);  // -0.1559542

}  // namespace

float fast_cbrt(float v) {
  const float x = v < 0.0f ? 0.0f : v;
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
  const std::uint32_t guess = ((bits & 0x7FFFFFFFu) / 3u + 0x2A5119F2u) | (bits & 0x80000000u);
  double t = std::bit_cast<float>(guess);
  const double xd = x;
  for (int step = 0; step < 2; ++step) {
    const double t3 = (t * t) * t;
    t = (t * ((xd + xd) + t3)) / (t3 + (t3 + xd));
  }
  return static_cast<float>(t);
}

Pixel xyb_pixel(const Pixel& rgb) {
  const float r = rgb[0];
  const float g = rgb[1];
  const float b = rgb[2];
  // Blue innermost, red outermost; each fma rounds once.
  const float t = std::fma(b, f32(0x3D9FBE77u), kBias);                             // 0.078
  const float l = std::fma(r, f32(0x3E99999Au), std::fma(g, f32(0x3F1F3B64u), t));  // 0.3, 0.622
  const float m = std::fma(r, f32(0x3E6B851Fu), std::fma(g, f32(0x3F3126E9u), t));  // 0.23, 0.692
  const float s = std::fma(r, f32(0x3E7943CCu),                                     // 0.24342269
                           std::fma(g, f32(0x3E51AE8Fu),                            // 0.20476745
                                    std::fma(b, f32(0x3F0D4369u), kBias)));         // 0.55180985
  const float l3 = fast_cbrt(l) + kNegCbrtBias;
  const float m3 = fast_cbrt(m) + kNegCbrtBias;
  const float s3 = fast_cbrt(s) + kNegCbrtBias;
  return {(l3 - m3) * 0.5f, (l3 + m3) * 0.5f, s3};
}

Xyb Xyb::from(LinearRgb frame) {
  simd::xyb_pixels(frame.data.span());
  return Xyb(std::move(frame.data), frame.width, frame.height);
}

}  // namespace colour
