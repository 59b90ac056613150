// Vector form of xyb_pixel for the kernels of this library and of its users: included once per
// target, after hwy/highway.h, by files that go through hwy/foreach_target.h. Only for targets
// where VELQUON_FUSED_TARGET holds; every other target runs xyb_pixel itself.

// Per-target include guard: toggled by foreach_target so that each target gets its copy.
#if defined(COLOUR_SIMD_XYB_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef COLOUR_SIMD_XYB_INL_H_
#undef COLOUR_SIMD_XYB_INL_H_
#else
#define COLOUR_SIMD_XYB_INL_H_
#endif

#include <hwy/highway.h>

#include <bit>
#include <cstdint>

#include "colour/simd_targets.h"

HWY_BEFORE_NAMESPACE();
namespace colour::simd {
namespace HWY_NAMESPACE {
namespace xyb_detail {
namespace hn = hwy::HWY_NAMESPACE;

#if VELQUON_FUSED_TARGET

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

// fast_cbrt lane by lane: the initial guess in 32-bit lanes, the refinement on each half of the
// vector promoted to 64-bit lanes, as the reference refines in double.
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

#endif  // VELQUON_FUSED_TARGET

}  // namespace xyb_detail

#if VELQUON_FUSED_TARGET

// xyb_pixel of the pixels whose red, green and blue values are the lanes of r, g and b.
HWY_INLINE void XybVectors(xyb_detail::V r, xyb_detail::V g, xyb_detail::V b, xyb_detail::V& x,
                           xyb_detail::V& y, xyb_detail::V& bo) {
  namespace hn = hwy::HWY_NAMESPACE;
  using xyb_detail::f32;
  using xyb_detail::V;
  const xyb_detail::D d;
  const V bias = hn::Set(d, f32(0x3B789536u));  // 0.0037930734
  // Blue innermost, red outermost, each MulAdd one fused instruction on this target.
  const V t = hn::MulAdd(b, hn::Set(d, f32(0x3D9FBE77u)), bias);           // 0.078
  const V l = hn::MulAdd(r, hn::Set(d, f32(0x3E99999Au)),                  // 0.3
                         hn::MulAdd(g, hn::Set(d, f32(0x3F1F3B64u)), t));  // 0.622
  const V m = hn::MulAdd(r, hn::Set(d, f32(0x3E6B851Fu)),                  // 0.23
                         hn::MulAdd(g, hn::Set(d, f32(0x3F3126E9u)), t));  // 0.692
  const V s =
      hn::MulAdd(r, hn::Set(d, f32(0x3E7943CCu)),                                 // 0.24342269
                 hn::MulAdd(g, hn::Set(d, f32(0x3E51AE8Fu)),                      // 0.20476745
                            hn::MulAdd(b, hn::Set(d, f32(0x3F0D4369u)), bias)));  // 0.55180985
  const V neg_cbrt_bias = hn::Set(d, f32(0xBE1FB275u));                           // -0.1559542
  const V l3 = hn::Add(xyb_detail::FastCbrt(d, l), neg_cbrt_bias);
  const V m3 = hn::Add(xyb_detail::FastCbrt(d, m), neg_cbrt_bias);
  const V s3 = hn::Add(xyb_detail::FastCbrt(d, s), neg_cbrt_bias);
  const V half = hn::Set(d, 0.5f);
  x = hn::Mul(hn::Sub(l3, m3), half);
  y = hn::Mul(hn::Add(l3, m3), half);
  bo = s3;
}

#endif  // VELQUON_FUSED_TARGET

}  // namespace HWY_NAMESPACE
}  // namespace colour::simd
HWY_AFTER_NAMESPACE();

#endif  // COLOUR_SIMD_XYB_INL_H_
