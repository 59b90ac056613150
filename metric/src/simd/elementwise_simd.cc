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
// + p01) + p11, times 0.25. In the interleaved rows the four taps of output value 3 ox + k are
// the floats j, j + 3 of each row, j = 6 ox + k, so vectors add the rows as they lie, lane by
// lane in that order, and keep the lanes with j % 6 < 3: no pixel is taken apart.
void DownscaleRow(const float* row0, const float* row1, std::size_t width,
                  float* HWY_RESTRICT out) {
  const std::size_t out_width = half_up(width);
  std::size_t ox = 0;
#if VELQUON_FUSED_TARGET
  const hn::ScalableTag<float> d;
  using V = hn::Vec<decltype(d)>;
  const std::size_t lanes = hn::Lanes(d);
  const V quarter = hn::Set(d, 0.25f);
  // Three vectors cover a whole number of 6-float groups (lanes / 2 output pixels). For each,
  // the lanes to keep, moved to the front, and how many there are.
  constexpr std::size_t kMax = hn::MaxLanes(d);
  HWY_ALIGN std::int32_t keep[3][kMax] = {};
  std::size_t kept[3] = {};
  for (std::size_t k = 0; k < 3; ++k) {
    for (std::size_t i = 0; i < lanes; ++i) {
      if ((k * lanes + i) % 6 < 3) keep[k][kept[k]++] = static_cast<std::int32_t>(i);
    }
  }
  const auto keep0 = hn::SetTableIndices(d, keep[0]);
  const auto keep1 = hn::SetTableIndices(d, keep[1]);
  const auto keep2 = hn::SetTableIndices(d, keep[2]);
  const auto sum_at = [&](const float* a, const float* b) HWY_ATTR {
    V sum = hn::Add(hn::Zero(d), hn::LoadU(d, a));
    sum = hn::Add(sum, hn::LoadU(d, a + 3));
    sum = hn::Add(sum, hn::LoadU(d, b));
    sum = hn::Add(sum, hn::LoadU(d, b + 3));
    return hn::Mul(sum, quarter);
  };
  const std::size_t step = lanes / 2;
  // The loads reach 3 floats past the group, inside the row; each store writes whole vectors,
  // whose surplus lanes land where the next group or the tail writes afterwards.
  for (; 6 * ox + 3 * lanes + 3 <= 3 * width && 3 * (ox + step) + lanes <= 3 * out_width;
       ox += step) {
    const float* a = row0 + 6 * ox;
    const float* b = row1 + 6 * ox;
    float* o = out + 3 * ox;
    hn::StoreU(hn::TableLookupLanes(sum_at(a, b), keep0), d, o);
    o += kept[0];
    hn::StoreU(hn::TableLookupLanes(sum_at(a + lanes, b + lanes), keep1), d, o);
    o += kept[1];
    hn::StoreU(hn::TableLookupLanes(sum_at(a + 2 * lanes, b + 2 * lanes), keep2), d, o);
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

void halve_and_make_xyb_rows(std::span<colour::Pixel> frame, std::uint64_t width,
                             std::uint64_t height, colour::Pixel* halved, std::span<float> row) {
  colour::assert_equal(frame.size(), width * height);
  if (row.size() < 3 * width) colour::fail_invariant("row scratch shorter than a frame row");
  if (width == 0) return;
  colour::Pixel* data = frame.data();
  const auto make_planes = [&](std::uint64_t y) {
    float* at = data[y * width].data();
    // Through a copy: the planes' rows are written over the pixels they are made from.
    std::copy_n(at, 3 * width, row.data());
    HWY_DYNAMIC_DISPATCH(PositiveXybPlanes)(row.data(), width, at, at + width, at + 2 * width);
  };
  if (halved == nullptr) {
    for (std::uint64_t y = 0; y < height; ++y) make_planes(y);
    return;
  }
  // Each pair of rows is halved while it is in cache, then turned into planes; an odd last row
  // is both rows of its pair.
  const std::uint64_t out_width = half_up(width);
  for (std::uint64_t y0 = 0; y0 < height; y0 += 2) {
    const std::uint64_t y1 = std::min(y0 + 1, height - 1);
    downscale_row(data + y0 * width, data + y1 * width, width, halved + y0 / 2 * out_width);
    make_planes(y0);
    if (y1 != y0) make_planes(y1);
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
