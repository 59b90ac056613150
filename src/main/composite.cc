// Compositing with one pixel per lane: the interleaved R, G, B split into three vectors, the
// alpha loaded beside them, and the same unfused Sub, Mul, Mul, Add as composite_pixel.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "main/composite.cc"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cstddef>

#include "colour/simd_targets.h"
#include "main/composite_pixel.h"

HWY_BEFORE_NAMESPACE();
namespace velquon {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void CompositePixels(const colour::Pixel* HWY_RESTRICT pixels, const float* HWY_RESTRICT alpha,
                     float background, std::size_t count, colour::Pixel* HWY_RESTRICT out) {
  std::size_t i = 0;
#if VELQUON_FUSED_TARGET
  using D = hn::ScalableTag<float>;
  using V = hn::Vec<D>;
  const D d;
  const std::size_t lanes = hn::Lanes(d);
  const V one = hn::Set(d, 1.0f);
  const V grey = hn::Set(d, background);
  const float* in = reinterpret_cast<const float*>(pixels);  // as flat() sees the buffer
  float* to = reinterpret_cast<float*>(out);
  for (; i + lanes <= count; i += lanes) {
    V r, g, b;
    hn::LoadInterleaved3(d, in + 3 * i, r, g, b);
    const V a = hn::LoadU(d, alpha + i);
    const V t = hn::Mul(hn::Sub(one, a), grey);
    hn::StoreInterleaved3(hn::Add(t, hn::Mul(a, r)), hn::Add(t, hn::Mul(a, g)),
                          hn::Add(t, hn::Mul(a, b)), d, to + 3 * i);
  }
#endif
  for (; i < count; ++i) out[i] = composite_pixel(pixels[i], alpha[i], background);
}

}  // namespace HWY_NAMESPACE
}  // namespace velquon
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <algorithm>

#include "main/composite.h"

namespace velquon {

HWY_EXPORT(CompositePixels);

colour::PixelBuffer composite_on_background(const colour::PixelBuffer& data,
                                            std::span<const float> alpha, float background) {
  const std::size_t n = std::min(data.size(), alpha.size());
  colour::PixelBuffer out = colour::PixelBuffer::zeroed(n);
  HWY_DYNAMIC_DISPATCH(CompositePixels)(data.data(), alpha.data(), background, n, out.data());
  return out;
}

}  // namespace velquon
#endif  // HWY_ONCE
