// Vector form of Xyb::from: one pixel per lane, through the per-target XybVectors.

#undef HWY_TARGET_INCLUDE
// Found through the library's include directory, the one directory of it on the include path.
#define HWY_TARGET_INCLUDE "../src/simd/xyb_simd.cc"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <bit>
#include <cstddef>
#include <cstdint>

#include "colour/simd/xyb-inl.h"
#include "colour/simd_targets.h"
#include "colour/xyb.h"
#include "kernels.h"

HWY_BEFORE_NAMESPACE();
namespace colour::simd {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void XybPixels(Pixel* HWY_RESTRICT pixels, std::size_t count) {
  std::size_t i = 0;
#if VELQUON_FUSED_TARGET
  const xyb_detail::D d;
  const std::size_t lanes = hn::Lanes(d);
  float* values = reinterpret_cast<float*>(pixels);  // as flat() sees the buffer
  for (; i + lanes <= count; i += lanes) {
    xyb_detail::V r, g, b, x, y, bo;
    hn::LoadInterleaved3(d, values + 3 * i, r, g, b);
    XybVectors(r, g, b, x, y, bo);
    hn::StoreInterleaved3(x, y, bo, d, values + 3 * i);
  }
#endif
  for (; i < count; ++i) pixels[i] = xyb_pixel(pixels[i]);
}

}  // namespace HWY_NAMESPACE
}  // namespace colour::simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace colour::simd {

HWY_EXPORT(XybPixels);

void xyb_pixels(std::span<Pixel> pixels) {
  HWY_DYNAMIC_DISPATCH(XybPixels)(pixels.data(), pixels.size());
}

}  // namespace colour::simd
#endif  // HWY_ONCE
