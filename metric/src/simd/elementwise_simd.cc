// Vector forms of the driver's element-wise steps and of the 2 x 2 box average. Each value gets
// the operations of its scalar reference in kernels.cc and downscale.cc, in the same order.

#undef HWY_TARGET_INCLUDE
// Found through the library's src/ directory, which is on its include path.
#define HWY_TARGET_INCLUDE "simd/elementwise_simd.cc"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "colour/simd/xyb-inl.h"
#include "colour/simd_targets.h"
#include "colour/xyb.h"
#include "lib/kernels.h"
#include "simd/kernels.h"

HWY_BEFORE_NAMESPACE();
namespace metric::simd {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Internal linkage: other kernel files define helpers of the same names in this namespace.
namespace {

// The scalar reference of one pixel, as shift_xyb_positive computes it, then split.
void ShiftSplitScalar(const colour::Pixel& p, float* x, float* y, float* b) {
  colour::Pixel q = p;
  metric::shift_xyb_positive(q);
  *x = q[0];
  *y = q[1];
  *b = q[2];
}

#if VELQUON_FUSED_TARGET
constexpr float kBOffset = std::bit_cast<float>(0x3F0CCCCDu);  // 0.550000011920929
constexpr float kXScale = std::bit_cast<float>(0x41600000u);   // 14.0
constexpr float kXOffset = std::bit_cast<float>(0x3ED70A3Du);  // 0.41999998688697815
constexpr float kYOffset = std::bit_cast<float>(0x3C23D70Au);  // 0.009999999776482582

// The shift to positive values, stored into the three planes. B uses Y before Y's own shift.
template <class D, class V>
HWY_INLINE void StoreShifted(D d, V vx, V vy, V vb, float* HWY_RESTRICT x, float* HWY_RESTRICT y,
                             float* HWY_RESTRICT b) {
  hn::StoreU(hn::Add(hn::Sub(vb, vy), hn::Set(d, kBOffset)), d, b);
  hn::StoreU(hn::MulAdd(vx, hn::Set(d, kXScale), hn::Set(d, kXOffset)), d, x);
  hn::StoreU(hn::Add(vy, hn::Set(d, kYOffset)), d, y);
}
#endif

}  // namespace

void ShiftAndSplit(const float* HWY_RESTRICT xyb, std::size_t count, float* HWY_RESTRICT x,
                   float* HWY_RESTRICT y, float* HWY_RESTRICT b) {
  std::size_t i = 0;
#if VELQUON_FUSED_TARGET
  const hn::ScalableTag<float> d;
  const std::size_t lanes = hn::Lanes(d);
  for (; i + lanes <= count; i += lanes) {
    hn::Vec<decltype(d)> vx, vy, vb;
    hn::LoadInterleaved3(d, xyb + 3 * i, vx, vy, vb);
    StoreShifted(d, vx, vy, vb, x + i, y + i, b + i);
  }
#endif
  for (; i < count; ++i) {
    const colour::Pixel p = {xyb[3 * i], xyb[3 * i + 1], xyb[3 * i + 2]};
    ShiftSplitScalar(p, x + i, y + i, b + i);
  }
}

// XYB of each linear pixel, shifted and split as ShiftAndSplit does, without the interleaved
// XYB frame in between.
void PositiveXybPlanes(const float* HWY_RESTRICT rgb, std::size_t count, float* HWY_RESTRICT x,
                       float* HWY_RESTRICT y, float* HWY_RESTRICT b) {
  std::size_t i = 0;
#if VELQUON_FUSED_TARGET
  const hn::ScalableTag<float> d;
  const std::size_t lanes = hn::Lanes(d);
  for (; i + lanes <= count; i += lanes) {
    hn::Vec<decltype(d)> vr, vg, vb, vx, vy, vbo;
    hn::LoadInterleaved3(d, rgb + 3 * i, vr, vg, vb);
    colour::simd::HWY_NAMESPACE::XybVectors(vr, vg, vb, vx, vy, vbo);
    StoreShifted(d, vx, vy, vbo, x + i, y + i, b + i);
  }
#endif
  for (; i < count; ++i) {
    const colour::Pixel p = colour::xyb_pixel({rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]});
    ShiftSplitScalar(p, x + i, y + i, b + i);
  }
}

void MultiplyPlane(const float* HWY_RESTRICT a, const float* HWY_RESTRICT b,
                   float* HWY_RESTRICT out, std::size_t count) {
  std::size_t i = 0;
#if VELQUON_FUSED_TARGET
  const hn::ScalableTag<float> d;
  const std::size_t lanes = hn::Lanes(d);
  for (; i + lanes <= count; i += lanes) {
    hn::StoreU(hn::Mul(hn::LoadU(d, a + i), hn::LoadU(d, b + i)), d, out + i);
  }
#endif
  metric::multiply_plane({a + i, count - i}, {b + i, count - i}, {out + i, count - i});
}

// Output pixel ox of a row averages pixels 2 ox and 2 ox + 1 of both rows: (((0 + p00) + p10)
// + p01) + p11, times 0.25. Vectors take the even and the odd pixels of two rows apart.
void DownscaleRow(const float* row0, const float* row1, std::size_t width,
                  float* HWY_RESTRICT out) {
  const std::size_t out_width = width / 2 + (width & 1);
  std::size_t ox = 0;
#if VELQUON_FUSED_TARGET
  const hn::ScalableTag<float> d;
  using V = hn::Vec<decltype(d)>;
  const std::size_t lanes = hn::Lanes(d);
  const V quarter = hn::Set(d, 0.25f);
  // Whole pairs only: an odd last pixel uses its column twice and goes the scalar way.
  for (; 2 * (ox + lanes) <= width; ox += lanes) {
    V a[3], b[3], c[3], e[3];  // row 0 pixels 2 ox .. , then the next lanes, then row 1
    hn::LoadInterleaved3(d, row0 + 6 * ox, a[0], a[1], a[2]);
    hn::LoadInterleaved3(d, row0 + 6 * ox + 3 * lanes, b[0], b[1], b[2]);
    hn::LoadInterleaved3(d, row1 + 6 * ox, c[0], c[1], c[2]);
    hn::LoadInterleaved3(d, row1 + 6 * ox + 3 * lanes, e[0], e[1], e[2]);
    V s[3];
    for (int k = 0; k < 3; ++k) {
      const V p00 = hn::ConcatEven(d, b[k], a[k]);
      const V p10 = hn::ConcatOdd(d, b[k], a[k]);
      const V p01 = hn::ConcatEven(d, e[k], c[k]);
      const V p11 = hn::ConcatOdd(d, e[k], c[k]);
      V sum = hn::Add(hn::Zero(d), p00);
      sum = hn::Add(sum, p10);
      sum = hn::Add(sum, p01);
      sum = hn::Add(sum, p11);
      s[k] = hn::Mul(sum, quarter);
    }
    hn::StoreInterleaved3(s[0], s[1], s[2], d, out + 3 * ox);
  }
#endif
  for (; ox < out_width; ++ox) {
    const std::size_t x0 = std::min(2 * ox, width - 1);
    const std::size_t x1 = std::min(2 * ox + 1, width - 1);
    for (int k = 0; k < 3; ++k) {
      float sum = 0.0f + row0[3 * x0 + k];
      sum = sum + row0[3 * x1 + k];
      sum = sum + row1[3 * x0 + k];
      sum = sum + row1[3 * x1 + k];
      out[3 * ox + k] = sum * 0.25f;
    }
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace metric::simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace metric::simd {

HWY_EXPORT(ShiftAndSplit);
HWY_EXPORT(MultiplyPlane);
HWY_EXPORT(PositiveXybPlanes);
HWY_EXPORT(DownscaleRow);

void shift_and_split(std::span<const colour::Pixel> pixels, std::span<float> x, std::span<float> y,
                     std::span<float> b) {
  const std::size_t n = pixels.size();
  colour::assert_equal(x.size(), n);
  colour::assert_equal(y.size(), n);
  colour::assert_equal(b.size(), n);
  HWY_DYNAMIC_DISPATCH(ShiftAndSplit)
  (pixels.empty() ? nullptr : pixels.data()->data(), n, x.data(), y.data(), b.data());
}

void positive_xyb_planes(std::span<const colour::Pixel> linear, std::span<float> x,
                         std::span<float> y, std::span<float> b) {
  const std::size_t n = linear.size();
  colour::assert_equal(x.size(), n);
  colour::assert_equal(y.size(), n);
  colour::assert_equal(b.size(), n);
  HWY_DYNAMIC_DISPATCH(PositiveXybPlanes)
  (linear.empty() ? nullptr : linear.data()->data(), n, x.data(), y.data(), b.data());
}

void positive_xyb_rows_in_place(std::span<colour::Pixel> frame, std::uint64_t width,
                                std::uint64_t height, std::span<float> row) {
  colour::assert_equal(frame.size(), width * height);
  if (row.size() < 3 * width) colour::fail_invariant("row scratch shorter than a frame row");
  float* data = frame.empty() ? nullptr : frame.data()->data();
  for (std::uint64_t y = 0; y < height; ++y) {
    float* at = data + 3 * y * width;
    // Through a copy: the planes' rows are written over the pixels they are made from.
    std::copy_n(at, 3 * width, row.data());
    HWY_DYNAMIC_DISPATCH(PositiveXybPlanes)(row.data(), width, at, at + width, at + 2 * width);
  }
}

void multiply_plane(std::span<const float> a, std::span<const float> b, std::span<float> out) {
  const std::size_t n = std::min({a.size(), b.size(), out.size()});
  HWY_DYNAMIC_DISPATCH(MultiplyPlane)(a.data(), b.data(), out.data(), n);
}

void downscale_row(const colour::Pixel* row0, const colour::Pixel* row1, std::size_t width,
                   colour::Pixel* out) {
  if (width == 0) return;
  HWY_DYNAMIC_DISPATCH(DownscaleRow)(row0->data(), row1->data(), width, out->data());
}

}  // namespace metric::simd
#endif  // HWY_ONCE
