// Vector form of Xyb::from: one pixel per lane. The mixes and the initial guess of the cube root
// stay in 32-bit lanes; the refinement runs on each half of the vector promoted to 64-bit lanes,
// as the reference refines in double.

#undef HWY_TARGET_INCLUDE
// Found through the library's include directory, the one directory of it on the include path.
#define HWY_TARGET_INCLUDE "../src/simd/xyb_simd.cc"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <bit>
#include <cstddef>
#include <cstdint>

#include "colour/simd_targets.h"
#include "colour/xyb.h"
#include "kernels.h"

HWY_BEFORE_NAMESPACE();
namespace colour::simd {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if VELQUON_FUSED_TARGET
// Internal linkage: other kernel files define helpers of the same names in this namespace.
namespace {

using D = hn::ScalableTag<float>;
using V = hn::Vec<D>;
using DU = hn::RebindToUnsigned<D>;
using VU = hn::Vec<DU>;

constexpr float f32(std::uint32_t bits) { return std::bit_cast<float>(bits); }

// Unsigned 32-bit division by 3 with the quotient exact for every input: the high half of the
// 64-bit product with 0xAAAAAAAB, shifted once more. Vectors have no integer division, and the
// 32 x 32 -> 64 multiply only takes even lanes, so odd lanes are moved down and back.
HWY_INLINE VU DivideBy3(VU n) {
  const DU du;
  const hn::Repartition<std::uint64_t, DU> du64;
  const VU magic = hn::Set(du, 0xAAAAAAABu);
  const auto even = hn::ShiftRight<33>(hn::MulEven(n, magic));
  const VU odd_down = hn::BitCast(du, hn::ShiftRight<32>(hn::BitCast(du64, n)));
  const auto odd = hn::ShiftRight<33>(hn::MulEven(odd_down, magic));
  return hn::BitCast(du, hn::Or(even, hn::ShiftLeft<32>(odd)));
}

template <class DD>
HWY_INLINE hn::Vec<DD> Refine(DD, hn::Vec<DD> t, hn::Vec<DD> xd) {
  for (int step = 0; step < 2; ++step) {
    const auto t3 = hn::Mul(hn::Mul(t, t), t);
    t = hn::Div(hn::Mul(t, hn::Add(hn::Add(xd, xd), t3)), hn::Add(t3, hn::Add(t3, xd)));
  }
  return t;
}

HWY_INLINE V FastCbrt(D d, V v) {
  const DU du;
  const V x = hn::IfThenZeroElse(hn::Lt(v, hn::Zero(d)), v);  // a NaN is not below and stays
  const VU bits = hn::BitCast(du, x);
  const VU magnitude = hn::And(bits, hn::Set(du, 0x7FFFFFFFu));
  const VU sign = hn::And(bits, hn::Set(du, 0x80000000u));
  const V guess =
      hn::BitCast(d, hn::Or(hn::Add(DivideBy3(magnitude), hn::Set(du, 0x2A5119F2u)), sign));
  const hn::Half<D> dh;
  const hn::Repartition<double, D> dd;
  const auto lower = Refine(dd, hn::PromoteTo(dd, hn::LowerHalf(dh, guess)),
                            hn::PromoteTo(dd, hn::LowerHalf(dh, x)));
  const auto upper = Refine(dd, hn::PromoteTo(dd, hn::UpperHalf(dh, guess)),
                            hn::PromoteTo(dd, hn::UpperHalf(dh, x)));
  // DemoteTo rounds to nearest, ties to even, as the reference's cast does.
  return hn::Combine(d, hn::DemoteTo(dh, upper), hn::DemoteTo(dh, lower));
}

}  // namespace
#endif  // VELQUON_FUSED_TARGET

void XybPixels(Pixel* HWY_RESTRICT pixels, std::size_t count) {
  std::size_t i = 0;
#if VELQUON_FUSED_TARGET
  const D d;
  const std::size_t lanes = hn::Lanes(d);
  const V bias = hn::Set(d, f32(0x3B789536u));           // 0.0037930734
  const V neg_cbrt_bias = hn::Set(d, f32(0xBE1FB275u));  // -0.1559542
  const V l_r = hn::Set(d, f32(0x3E99999Au));            // 0.3
  const V l_g = hn::Set(d, f32(0x3F1F3B64u));            // 0.622
  const V m_r = hn::Set(d, f32(0x3E6B851Fu));            // 0.23
  const V m_g = hn::Set(d, f32(0x3F3126E9u));            // 0.692
  const V lm_b = hn::Set(d, f32(0x3D9FBE77u));           // 0.078
  const V s_r = hn::Set(d, f32(0x3E7943CCu));            // 0.24342269
  const V s_g = hn::Set(d, f32(0x3E51AE8Fu));            // 0.20476745
  const V s_b = hn::Set(d, f32(0x3F0D4369u));            // 0.55180985
  const V half = hn::Set(d, 0.5f);
  float* values = reinterpret_cast<float*>(pixels);  // as flat() sees the buffer
  for (; i + lanes <= count; i += lanes) {
    V r, g, b;
    hn::LoadInterleaved3(d, values + 3 * i, r, g, b);
    // Blue innermost, red outermost, each MulAdd one fused instruction on this target.
    const V t = hn::MulAdd(b, lm_b, bias);
    const V l = hn::MulAdd(r, l_r, hn::MulAdd(g, l_g, t));
    const V m = hn::MulAdd(r, m_r, hn::MulAdd(g, m_g, t));
    const V s = hn::MulAdd(r, s_r, hn::MulAdd(g, s_g, hn::MulAdd(b, s_b, bias)));
    const V l3 = hn::Add(FastCbrt(d, l), neg_cbrt_bias);
    const V m3 = hn::Add(FastCbrt(d, m), neg_cbrt_bias);
    const V s3 = hn::Add(FastCbrt(d, s), neg_cbrt_bias);
    hn::StoreInterleaved3(hn::Mul(hn::Sub(l3, m3), half), hn::Mul(hn::Add(l3, m3), half), s3, d,
                          values + 3 * i);
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
