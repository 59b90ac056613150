#include "lib/kernels.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "simd/kernels.h"

namespace metric {

void shift_xyb_positive(std::span<float> xyb) {
  constexpr float kBOffset = std::bit_cast<float>(0x3F0CCCCDu);  // 0.550000011920929
  constexpr float kXScale = std::bit_cast<float>(0x41600000u);   // 14.0
  constexpr float kXOffset = std::bit_cast<float>(0x3ED70A3Du);  // 0.41999998688697815
  constexpr float kYOffset = std::bit_cast<float>(0x3C23D70Au);  // 0.009999999776482582
  for (std::size_t i = 0; i + 3 <= xyb.size(); i += 3) {
    const float x = xyb[i];
    const float y = xyb[i + 1];
    const float b = xyb[i + 2];
    // B uses Y before Y's own shift.
    xyb[i + 2] = (b - y) + kBOffset;
    xyb[i] = std::fma(x, kXScale, kXOffset);
    xyb[i + 1] = y + kYOffset;
  }
}

void multiply_plane(std::span<const float> a, std::span<const float> b, std::span<float> out) {
  const std::size_t n = std::min({a.size(), b.size(), out.size()});
  for (std::size_t i = 0; i < n; ++i) out[i] = a[i] * b[i];
}

void multiply_planes(const PlaneTriple& a, const PlaneTriple& b, PlaneTriple& out) {
  for (std::size_t c = 0; c < 3; ++c) {
    simd::multiply_plane(a[c].span(), b[c].span(), out[c].span());
  }
}

}  // namespace metric
