#pragma once

// The colour library's vectorised loops. Each picks the best vector target of the running CPU
// once and gives exactly the bits of its scalar reference on every target.

#include <cstdint>
#include <span>

#include "colour/pixel_buffer.h"

namespace colour::simd {

// The transfer curves other than the pure powers, by name of their per-value reference.
enum class Curve : std::uint8_t { Srgb, Log100, Log316, Xvycc, Pq, Hlg };

// Every value through the curve's per-value function (srgb_to_linear and so on), in place.
void to_linear_values(Curve curve, std::span<float> values);

// Every value through pure_power_to_linear(v, gamma), in place.
void pure_power_values(std::span<float> values, float gamma);

// Every pixel through xyb_pixel, in place.
void xyb_pixels(std::span<Pixel> pixels);

}  // namespace colour::simd
