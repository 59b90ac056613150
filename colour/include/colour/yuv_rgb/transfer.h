#pragma once

#include <cstdint>
#include <expected>
#include <span>

#include "colour/errors.h"
#include "colour/pixel.h"
#include "colour/pixel_buffer.h"

namespace colour {

// Brings every value of the buffer to linear light with the characteristic's curve, in place.
// On error the buffer is released and only the code comes back.
std::expected<PixelBuffer, ColorConversionError> to_linear(const TransferCharacteristic& transfer,
                                                           PixelBuffer data);

// to_linear's curve, the characteristic checked once: applied to parts of a buffer one after
// another, it gives the bits of converting the whole buffer at once.
class LinearCurve {
 public:
  static std::expected<LinearCurve, ColorConversionError> of(
      const TransferCharacteristic& transfer);
  void apply(std::span<float> values) const;

 private:
  enum class Kind : std::uint8_t { Identity, Power, Curve };
  LinearCurve(Kind kind, float gamma, int curve) : kind_(kind), gamma_(gamma), curve_(curve) {}
  Kind kind_;
  float gamma_;  // for Power
  int curve_;    // simd::Curve, for Curve
};

// The fast 32-bit approximations the curves are built from; exposed for tests.
float fast_log2(float x);
float fast_exp2(float y);
float fast_pow(float x, float p);

// The per-value curves, one encoded value to linear light. They are the reference that any
// vectorised form of to_linear must match bit for bit.
float pure_power_to_linear(float v, float gamma);
float srgb_to_linear(float v);
float log100_to_linear(float v);
float log316_to_linear(float v);
float xvycc_to_linear(float v);
float pq_to_linear(float v);
float hlg_to_linear(float v);

}  // namespace colour
