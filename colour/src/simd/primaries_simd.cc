// Vector form of the per-pixel 3 x 3 multiply of transform_primaries: one pixel per lane,
// the interleaved R, G, B split into three vectors and joined again on the way out.

#undef HWY_TARGET_INCLUDE
// Found through the library's include directory, the one directory of it on the include path.
#define HWY_TARGET_INCLUDE "../src/simd/primaries_simd.cc"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cstddef>

#include "colour/simd_targets.h"
#include "colour/yuv_rgb/color.h"

HWY_BEFORE_NAMESPACE();
namespace colour {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void TransformPixels(const Matrix3& m, Pixel* HWY_RESTRICT pixels, std::size_t count) {
  std::size_t i = 0;
#if VELQUON_FUSED_TARGET
  using D = hn::ScalableTag<float>;
  using V = hn::Vec<D>;
  const D d;
  const std::size_t lanes = hn::Lanes(d);
  V t[3][3];
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) t[row][col] = hn::Set(d, m[row][col]);
  }
  float* values = reinterpret_cast<float*>(pixels);  // as flat() sees the buffer
  for (; i + lanes <= count; i += lanes) {
    V r, g, b;
    hn::LoadInterleaved3(d, values + 3 * i, r, g, b);
    V out[3];
    // m0*r + (m1*g + m2*b), unfused: the second and third products are summed first.
    for (int row = 0; row < 3; ++row) {
      out[row] =
          hn::Add(hn::Mul(t[row][0], r), hn::Add(hn::Mul(t[row][1], g), hn::Mul(t[row][2], b)));
    }
    hn::StoreInterleaved3(out[0], out[1], out[2], d, values + 3 * i);
  }
#endif
  for (; i < count; ++i) pixels[i] = transform_pixel(m, pixels[i]);
}

}  // namespace HWY_NAMESPACE
}  // namespace colour
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace colour {

HWY_EXPORT(TransformPixels);

void transform_pixels(const Matrix3& m, std::span<Pixel> pixels) {
  HWY_DYNAMIC_DISPATCH(TransformPixels)(m, pixels.data(), pixels.size());
}

}  // namespace colour
#endif  // HWY_ONCE
