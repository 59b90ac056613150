#pragma once

#include <bit>
#include <cstdint>
#include <span>

#include "colour/pixel_buffer.h"

namespace velquon {

// Grey levels, used for R, G and B alike, that transparent pixels are scored against.
inline constexpr float DARK_BACKGROUND = std::bit_cast<float>(0x3DCCCCCDu);   // 0.1
inline constexpr float LIGHT_BACKGROUND = std::bit_cast<float>(0x3F666666u);  // 0.9

// Straight-alpha "over" on a uniform grey: (1 - a) * background + a * channel per value, on the
// encoded values as they are (no clamping, no linearisation). The result has as many pixels as
// the shorter of `data` and `alpha`.
colour::PixelBuffer composite_on_background(const colour::PixelBuffer& data,
                                            std::span<const float> alpha, float background);

}  // namespace velquon
