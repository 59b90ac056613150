// Vector forms of the transfer curves. Every lane computes both sides of each test of its curve
// and keeps the side the per-value function would have taken, with the same operations in the
// same order, so each value gets the bits of its reference in transfer.cc.

#undef HWY_TARGET_INCLUDE
// Found through the library's include directory, the one directory of it on the include path.
#define HWY_TARGET_INCLUDE "../src/simd/transfer_simd.cc"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <bit>
#include <cstddef>
#include <cstdint>

#include "colour/simd_targets.h"
#include "colour/yuv_rgb/transfer.h"
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

constexpr float f32(std::uint32_t bits) { return std::bit_cast<float>(bits); }

constexpr float kEpsilon = f32(0x34000000u);   // 2^-23
constexpr float kGamma24 = f32(0x4019999Au);   // 2.4
constexpr float kLog2Of10 = f32(0x40549A6Eu);  // fast_log2(10), 3.3219256

// maxNum(a, b) for a b that is neither NaN nor -0: a NaN in a fails the comparison and yields
// b, as maxNum wants, and a = -0 against b = +0 yields +0. Max is no substitute: Highway leaves
// its NaN and signed-zero results to the target (NEON returns the NaN).
HWY_INLINE V MaxNumWith(V a, V b) { return hn::IfThenElse(hn::Gt(a, b), a, b); }

HWY_INLINE V Poly(D d, V x, float c0, float c1, float c2, float c3, float c4, float c5) {
  // Horner steps unfused, one rounding per product and per sum.
  V p = hn::Set(d, c0);
  p = hn::Add(hn::Mul(p, x), hn::Set(d, c1));
  p = hn::Add(hn::Mul(p, x), hn::Set(d, c2));
  p = hn::Add(hn::Mul(p, x), hn::Set(d, c3));
  p = hn::Add(hn::Mul(p, x), hn::Set(d, c4));
  return hn::Add(hn::Mul(p, x), hn::Set(d, c5));
}

HWY_INLINE V FastLog2(D d, V x) {
  const hn::RebindToUnsigned<D> du;
  const hn::RebindToSigned<D> di;
  const auto bits = hn::BitCast(du, x);
  const auto field = hn::And(hn::ShiftRight<23>(bits), hn::Set(du, 0xFFu));
  const V e = hn::ConvertTo(d, hn::Sub(hn::BitCast(di, field), hn::Set(di, 127)));
  const V m =
      hn::BitCast(d, hn::Or(hn::And(bits, hn::Set(du, 0x007FFFFFu)), hn::Set(du, 0x3F800000u)));
  const V p = Poly(d, m, f32(0xBD0D0CC5u), f32(0x3EA2ECDDu), f32(0xBF9DA2C9u), f32(0x4026537Bu),
                   f32(0xC054BFADu), f32(0x4047691Au));
  return hn::Add(hn::Mul(hn::Sub(m, hn::Set(d, 1.0f)), p), e);
}

HWY_INLINE V FastExp2(D d, V y) {
  const hn::RebindToUnsigned<D> du;
  const hn::RebindToSigned<D> di;
  // Compare and select, not Min/Max: a NaN must pass both clamps unchanged.
  const V lo = hn::Set(d, f32(0xC2FDFFFFu));  // -126.99999
  const V hi = hn::Set(d, f32(0x43010000u));  // 129
  y = hn::IfThenElse(hn::Lt(y, lo), lo, y);
  y = hn::IfThenElse(hn::Gt(y, hi), hi, y);
  // After the clamps only a NaN is out of range. Its lane converts to whatever the target's
  // instruction gives, not to the reference's 0, and that is harmless: f is then NaN anyway, s
  // is never a NaN, and Q * s carries the NaN of y just as in the reference.
  const auto i = hn::ConvertTo(di, hn::Sub(y, hn::Set(d, 0.5f)));
  const V f = hn::Sub(y, hn::ConvertTo(d, i));
  // 2^i in the exponent field; unsigned lanes wrap like the reference's sum.
  const V s =
      hn::BitCast(d, hn::Add(hn::ShiftLeft<23>(hn::BitCast(du, i)), hn::Set(du, 0x3F800000u)));
  const V q = Poly(d, f, f32(0x3AF61905u), f32(0x3C134806u), f32(0x3D64AA23u), f32(0x3E75EAD4u),
                   f32(0x3F31727Bu), f32(0x3F7FFFFFu));
  return hn::Mul(q, s);
}

HWY_INLINE V FastPow(D d, V x, V p) { return FastExp2(d, hn::Mul(FastLog2(d, x), p)); }

HWY_INLINE V Bt709InverseStep(D d, V a) {
  const V linear = hn::Div(a, hn::Set(d, f32(0x40900000u)));  // 4.5
  // 0.09929681, 1.0992968
  const V base = hn::Div(hn::Add(a, hn::Set(d, f32(0x3DCB5C20u))), hn::Set(d, f32(0x3F8CB5C2u)));
  const V curved = FastPow(d, base, hn::Set(d, f32(0x400E38E4u)));                 // 2.2222223
  return hn::IfThenElse(hn::Lt(a, hn::Set(d, f32(0x3DA662A8u))), linear, curved);  // 0.08124286
}

HWY_INLINE V PurePower(D d, V v, V gamma) {
  return hn::IfThenZeroElse(hn::Lt(v, hn::Set(d, kEpsilon)), FastPow(d, v, gamma));
}

HWY_INLINE V Srgb(D d, V value) {
  const V v = MaxNumWith(value, hn::Zero(d));
  const V linear = hn::Div(v, hn::Set(d, f32(0x414EB852u)));  // 12.92
  // 0.055010676, 1.0550107
  const V base = hn::Div(hn::Add(v, hn::Set(d, f32(0x3D6152E0u))), hn::Set(d, f32(0x3F870A97u)));
  const V curved = FastPow(d, base, hn::Set(d, kGamma24));
  return hn::IfThenElse(hn::Lt(v, hn::Set(d, f32(0x3D20F216u))), linear, curved);
}

HWY_INLINE V Log100(D d, V v) {
  const V t = hn::Sub(v, hn::Set(d, 1.0f));
  const V curved = FastExp2(d, hn::Mul(hn::Add(t, t), hn::Set(d, kLog2Of10)));
  return hn::IfThenElse(hn::Le(v, hn::Set(d, kEpsilon)), hn::Set(d, f32(0x3C23D70Au)), curved);
}

HWY_INLINE V Log316(D d, V v) {
  const V scaled = hn::Mul(hn::Sub(v, hn::Set(d, 1.0f)), hn::Set(d, f32(0x40200000u)));  // 2.5
  const V curved = FastExp2(d, hn::Mul(scaled, hn::Set(d, kLog2Of10)));
  return hn::IfThenElse(hn::Le(v, hn::Set(d, kEpsilon)), hn::Set(d, f32(0x3B4F3E37u)), curved);
}

HWY_INLINE V Xvycc(D d, V v) {
  const V a = hn::Abs(v);  // clears the sign bit, of a NaN too
  const auto inside = hn::And(hn::Ge(v, hn::Zero(d)), hn::Le(v, hn::Set(d, 1.0f)));
  const V power = PurePower(d, a, hn::Set(d, kGamma24));
  const V step = Bt709InverseStep(d, MaxNumWith(a, hn::Zero(d)));
  return hn::CopySign(hn::IfThenElse(inside, power, step), v);
}

HWY_INLINE V Pq(D d, V v) {
  const V p = FastPow(d, v, hn::Set(d, f32(0x3C4FCDACu)));                        // 0.012683313
  const V n = MaxNumWith(hn::Add(p, hn::Set(d, f32(0xBF560000u))), hn::Zero(d));  // -0.8359375
  // The one fused multiply-add of the curves; this target's MulAdd is a single instruction.
  const V fused = hn::MulAdd(p, hn::Set(d, f32(0xC1958000u)),  // -18.6875
                             hn::Set(d, f32(0x4196D000u)));    // 18.8515625
  const V q = hn::Div(n, MaxNumWith(fused, hn::Set(d, kEpsilon)));
  const V y = hn::Mul(FastPow(d, q, hn::Set(d, f32(0x40C8E06Bu))), hn::Set(d, 100.0f));  // 6.277395
  V l = hn::IfThenZeroElse(hn::Lt(y, hn::Set(d, kEpsilon)),
                           FastPow(d, y, hn::Set(d, f32(0x3ED55555u))));  // 0.41666666
  l = MaxNumWith(l, hn::Zero(d));
  const V linear = hn::Div(Bt709InverseStep(d, l), hn::Set(d, f32(0x426DF695u)));  // 59.490803
  return hn::IfThenElseZero(hn::Gt(v, hn::Zero(d)), linear);
}

HWY_INLINE V Hlg(D d, V value) {
  const V v = MaxNumWith(value, hn::Zero(d));
  const V low = hn::Mul(hn::Mul(v, v), hn::Set(d, f32(0x3EAAAAABu)));  // 0.33333334
  // 0.5599107 held negated, 0.17883277, 1.442695
  const V u =
      hn::Mul(hn::Div(hn::Add(v, hn::Set(d, f32(0xBF0F564Fu))), hn::Set(d, f32(0x3E371FF0u))),
              hn::Set(d, f32(0x3FB8AA3Bu)));
  const V k = hn::Floor(u);
  const V r = hn::Sub(u, k);
  // 0.28466892
  const V high =
      hn::Div(hn::Add(hn::Mul(FastExp2(d, k), FastExp2(d, r)), hn::Set(d, f32(0x3E91C020u))),
              hn::Set(d, 12.0f));
  return hn::IfThenElse(hn::Le(v, hn::Set(d, 0.5f)), low, high);
}

// Whole vectors, then the tail through the per-value reference.
template <V (*kVector)(D, V), float (*kScalar)(float)>
HWY_INLINE void MapValues(float* HWY_RESTRICT values, std::size_t count) {
  const D d;
  const std::size_t lanes = hn::Lanes(d);
  std::size_t i = 0;
  for (; i + lanes <= count; i += lanes) {
    hn::StoreU(kVector(d, hn::LoadU(d, values + i)), d, values + i);
  }
  for (; i < count; ++i) values[i] = kScalar(values[i]);
}

// Decoded 8-bit samples are the 256 values k / 255 (and 16-bit ones that are multiples of 257
// give the same floats), so whole vectors of them take their curve values from a table built
// with the curve itself; a vector holding any other bit pattern goes through the curve. Below
// this many values the table would cost more than it saves.
constexpr std::size_t kSrgbTableMinimum = 4096;

HWY_INLINE void SrgbValues(float* HWY_RESTRICT values, std::size_t count) {
  if (count < kSrgbTableMinimum) return MapValues<Srgb, srgb_to_linear>(values, count);
  const D d;
  const hn::RebindToSigned<D> di;
  const hn::RebindToUnsigned<D> du;
  const std::size_t lanes = hn::Lanes(d);
  const V scale = hn::Set(d, 255.0f);
  // Built on the stack per call: 256 curve values are nothing beside a frame.
  HWY_ALIGN float table[256];
  for (std::size_t k = 0; k < 256; k += lanes) {
    const V key = hn::Div(hn::ConvertTo(d, hn::Iota(di, static_cast<int>(k))), scale);
    hn::Store(Srgb(d, key), d, table + k);
  }
  std::size_t i = 0;
  for (; i + lanes <= count; i += lanes) {
    const V v = hn::LoadU(d, values + i);
    // The candidate index is clamped before any use: NaNs and huge values convert to anything.
    auto index = hn::NearestInt(hn::Mul(v, scale));
    index = hn::Min(hn::Max(index, hn::Zero(di)), hn::Set(di, 255));
    const V key = hn::Div(hn::ConvertTo(d, index), scale);
    // Bit patterns compared, so -0 and NaNs never match a key.
    const auto match = hn::Eq(hn::BitCast(du, key), hn::BitCast(du, v));
    const V linear = hn::AllTrue(du, match) ? hn::GatherIndex(d, table, index) : Srgb(d, v);
    hn::StoreU(linear, d, values + i);
  }
  for (; i < count; ++i) values[i] = srgb_to_linear(values[i]);
}

}  // namespace

void ToLinearValues(Curve curve, float* HWY_RESTRICT values, std::size_t count) {
  switch (curve) {
    case Curve::Srgb:
      return SrgbValues(values, count);
    case Curve::Log100:
      return MapValues<Log100, log100_to_linear>(values, count);
    case Curve::Log316:
      return MapValues<Log316, log316_to_linear>(values, count);
    case Curve::Xvycc:
      return MapValues<Xvycc, xvycc_to_linear>(values, count);
    case Curve::Pq:
      return MapValues<Pq, pq_to_linear>(values, count);
    case Curve::Hlg:
      return MapValues<Hlg, hlg_to_linear>(values, count);
  }
}

#else  // VELQUON_FUSED_TARGET

// No single-instruction fused multiply-add here: every value through its reference.
template <float (*kScalar)(float)>
void MapValues(float* HWY_RESTRICT values, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) values[i] = kScalar(values[i]);
}

void ToLinearValues(Curve curve, float* HWY_RESTRICT values, std::size_t count) {
  switch (curve) {
    case Curve::Srgb:
      return MapValues<srgb_to_linear>(values, count);
    case Curve::Log100:
      return MapValues<log100_to_linear>(values, count);
    case Curve::Log316:
      return MapValues<log316_to_linear>(values, count);
    case Curve::Xvycc:
      return MapValues<xvycc_to_linear>(values, count);
    case Curve::Pq:
      return MapValues<pq_to_linear>(values, count);
    case Curve::Hlg:
      return MapValues<hlg_to_linear>(values, count);
  }
}

#endif  // VELQUON_FUSED_TARGET

void PurePowerValues(float* HWY_RESTRICT values, std::size_t count, float gamma) {
  std::size_t i = 0;
#if VELQUON_FUSED_TARGET
  const D d;
  const std::size_t lanes = hn::Lanes(d);
  const V g = hn::Set(d, gamma);
  for (; i + lanes <= count; i += lanes) {
    hn::StoreU(PurePower(d, hn::LoadU(d, values + i), g), d, values + i);
  }
#endif
  for (; i < count; ++i) values[i] = pure_power_to_linear(values[i], gamma);
}

}  // namespace HWY_NAMESPACE
}  // namespace colour::simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace colour::simd {

HWY_EXPORT(ToLinearValues);
HWY_EXPORT(PurePowerValues);

void to_linear_values(Curve curve, std::span<float> values) {
  HWY_DYNAMIC_DISPATCH(ToLinearValues)(curve, values.data(), values.size());
}

void pure_power_values(std::span<float> values, float gamma) {
  HWY_DYNAMIC_DISPATCH(PurePowerValues)(values.data(), values.size(), gamma);
}

}  // namespace colour::simd
#endif  // HWY_ONCE
