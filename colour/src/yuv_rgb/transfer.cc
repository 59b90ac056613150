#include "colour/yuv_rgb/transfer.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "../simd/kernels.h"

namespace colour {
namespace {

constexpr float f32(std::uint32_t bits) { return std::bit_cast<float>(bits); }
constexpr std::uint32_t bits_of(float v) { return std::bit_cast<std::uint32_t>(v); }

constexpr float kEpsilon = f32(0x34000000u);  // 2^-23

// IEEE 754-2008 maxNum: a NaN operand yields the other one, and +0 counts as above -0.
float max_num(float a, float b) {
  if (std::isnan(a)) return b;
  if (std::isnan(b)) return a;
  if (a > b) return a;
  if (b > a) return b;
  return std::signbit(a) ? b : a;
}

float abs_bits(float v) { return f32(bits_of(v) & 0x7FFFFFFFu); }

float copy_sign_bits(float magnitude, float sign) {
  return f32((bits_of(magnitude) & 0x7FFFFFFFu) | (bits_of(sign) & 0x80000000u));
}

// Truncation toward zero that is defined for every input: NaN gives 0 and values outside the
// range saturate, where a plain cast would be undefined.
std::int32_t truncate_to_i32(float v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483648.0f) return INT32_MAX;
  if (v <= -2147483648.0f) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

// Inverse of the BT.709 camera curve, for a >= 0.
float bt709_inverse_step(float a) {
  if (a < f32(0x3DA662A8u)) return a / f32(0x40900000u);      // 0.08124286, 4.5
  return fast_pow((a + f32(0x3DCB5C20u)) / f32(0x3F8CB5C2u),  // 0.09929681, 1.0992968
                  f32(0x400E38E4u));                          // 2.2222223
}

constexpr float kGamma24 = f32(0x4019999Au);  // 2.4
constexpr float kGamma22 = f32(0x400CCCCDu);  // 2.2
constexpr float kGamma28 = f32(0x40333333u);  // 2.8

}  // namespace

float fast_log2(float x) {
  const std::uint32_t bits = bits_of(x);
  const float e = static_cast<float>(static_cast<std::int32_t>((bits >> 23) & 0xFFu) - 127);
  const float m = f32((bits & 0x007FFFFFu) | 0x3F800000u);
  float p = f32(0xBD0D0CC5u);    // -0.034436006
  p = p * m + f32(0x3EA2ECDDu);  // 0.31821337
  p = p * m + f32(0xBF9DA2C9u);  // -1.2315303
  p = p * m + f32(0x4026537Bu);  // 2.5988452
  p = p * m + f32(0xC054BFADu);  // -3.324199
  p = p * m + f32(0x4047691Au);  // 3.11579
  return (m - 1.0f) * p + e;
}

float fast_exp2(float y) {
  if (y < f32(0xC2FDFFFFu)) y = f32(0xC2FDFFFFu);  // -126.99999
  if (y > f32(0x43010000u)) y = f32(0x43010000u);  // 129
  const std::int32_t i = truncate_to_i32(y - 0.5f);
  const float f = y - static_cast<float>(i);
  // 2^i built in the exponent field; the sum wraps to +0 at i = -127 and to +inf at i = 128.
  const float s = f32(static_cast<std::uint32_t>(i) * 0x00800000u + 0x3F800000u);
  float q = f32(0x3AF61905u);    // 0.0018775767
  q = q * f + f32(0x3C134806u);  // 0.00898934
  q = q * f + f32(0x3D64AA23u);  // 0.055826318
  q = q * f + f32(0x3E75EAD4u);  // 0.24015361
  q = q * f + f32(0x3F31727Bu);  // 0.6931531
  q = q * f + f32(0x3F7FFFFFu);  // 0.99999994, not 1
  return q * s;
}

float fast_pow(float x, float p) { return fast_exp2(fast_log2(x) * p); }

float pure_power_to_linear(float v, float gamma) {
  // Takes negatives and -0; a NaN is not below and leaves fast_pow as +inf.
  if (v < kEpsilon) return 0.0f;
  return fast_pow(v, gamma);
}

float srgb_to_linear(float v) {
  v = max_num(v, 0.0f);
  if (v < f32(0x3D20F216u)) return v / f32(0x414EB852u);      // 0.03929337, 12.92
  return fast_pow((v + f32(0x3D6152E0u)) / f32(0x3F870A97u),  // 0.055010676, 1.0550107
                  kGamma24);
}

// 3.3219256 is fast_log2(10), not log2(10) rounded.
constexpr float kLog2Of10 = f32(0x40549A6Eu);

float log100_to_linear(float v) {
  if (v <= kEpsilon) return f32(0x3C23D70Au);  // 0.01
  const float t = v - 1.0f;
  return fast_exp2((t + t) * kLog2Of10);
}

float log316_to_linear(float v) {
  if (v <= kEpsilon) return f32(0x3B4F3E37u);                     // 0.0031622776
  return fast_exp2(((v - 1.0f) * f32(0x40200000u)) * kLog2Of10);  // 2.5
}

float xvycc_to_linear(float v) {
  float r;
  if (v >= 0.0f && v <= 1.0f) {
    const float a = abs_bits(v);
    r = a < kEpsilon ? 0.0f : fast_pow(a, kGamma24);
  } else {
    r = bt709_inverse_step(max_num(abs_bits(v), 0.0f));
  }
  return copy_sign_bits(r, v);
}

float pq_to_linear(float v) {
  if (!(v > 0.0f)) return 0.0f;
  const float p = fast_pow(v, f32(0x3C4FCDACu));                            // 0.012683313
  const float n = max_num(p + f32(0xBF560000u), 0.0f);                      // -0.8359375
  const float d = max_num(std::fma(p, f32(0xC1958000u), f32(0x4196D000u)),  // -18.6875, 18.8515625
                          kEpsilon);
  const float q = n / d;
  const float y = fast_pow(q, f32(0x40C8E06Bu)) * f32(0x42C80000u);  // 6.277395, 100
  float l = y < kEpsilon ? 0.0f : fast_pow(y, f32(0x3ED55555u));     // 0.41666666
  l = max_num(l, 0.0f);
  return bt709_inverse_step(l) / f32(0x426DF695u);  // 59.490803
}

float hlg_to_linear(float v) {
  v = max_num(v, 0.0f);
  if (v <= 0.5f) return (v * v) * f32(0x3EAAAAABu);  // 0.33333334
  // 0.5599107, 0.17883277, 1.442695
  const float u = ((v + f32(0xBF0F564Fu)) / f32(0x3E371FF0u)) * f32(0x3FB8AA3Bu);
  const float k = std::floor(u);
  const float r = u - k;
  return ((fast_exp2(k) * fast_exp2(r)) + f32(0x3E91C020u)) / f32(0x41400000u);  // 0.28466892, 12
}

std::expected<LinearCurve, ColorConversionError> LinearCurve::of(
    const TransferCharacteristic& transfer) {
  const auto curve = [](simd::Curve c) {
    return LinearCurve(Kind::Curve, 0.0f, static_cast<int>(c));
  };
  const auto power = [](float gamma) { return LinearCurve(Kind::Power, gamma, 0); };
  switch (transfer) {
    case TransferCharacteristic::Identity:
    case TransferCharacteristic::Reserved:
    case TransferCharacteristic::ItuBt1361Extended:
    case TransferCharacteristic::SmpteSt428:
      return std::unexpected(ColorConversionError::UnsupportedTransferCharacteristic);
    case TransferCharacteristic::Unspecified:
      return std::unexpected(ColorConversionError::UnspecifiedTransferCharacteristic);
    case TransferCharacteristic::Linear:
      return LinearCurve(Kind::Identity, 0.0f, 0);
    case TransferCharacteristic::ItuBt1886:
    case TransferCharacteristic::SmpteSt170M:
    case TransferCharacteristic::SmpteSt240M:
    case TransferCharacteristic::ItuBt2020Ten:
    case TransferCharacteristic::ItuBt2020Twelve:
      return power(kGamma24);
    case TransferCharacteristic::ItuBt470M:
      return power(kGamma22);
    case TransferCharacteristic::ItuBt470BG:
      return power(kGamma28);
    case TransferCharacteristic::Logarithmic100:
      return curve(simd::Curve::Log100);
    case TransferCharacteristic::Logarithmic316:
      return curve(simd::Curve::Log316);
    case TransferCharacteristic::Xvycc:
      return curve(simd::Curve::Xvycc);
    case TransferCharacteristic::Srgb:
      return curve(simd::Curve::Srgb);
    case TransferCharacteristic::PerceptualQuantizer:
      return curve(simd::Curve::Pq);
    case TransferCharacteristic::HybridLogGamma:
      return curve(simd::Curve::Hlg);
  }
  // Only a byte outside the enumeration gets here: no code point of the type does.
  return std::unexpected(ColorConversionError::UnsupportedTransferCharacteristic);
}

void LinearCurve::apply(std::span<float> values) const {
  switch (kind_) {
    case Kind::Identity:
      return;
    case Kind::Power:
      return simd::pure_power_values(values, gamma_);
    case Kind::Curve:
      return simd::to_linear_values(static_cast<simd::Curve>(curve_), values);
  }
}

std::expected<PixelBuffer, ColorConversionError> to_linear(const TransferCharacteristic& transfer,
                                                           PixelBuffer data) {
  const auto curve = LinearCurve::of(transfer);
  if (!curve) return std::unexpected(curve.error());
  curve->apply(flat(data));
  return data;
}

}  // namespace colour
