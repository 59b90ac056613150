#pragma once

// Decoded integer samples to the 0..1 floats every decoder hands on. One division per sample,
// exactly rounded, so the vector forms give the bits of these per-value functions.

#include <cstdint>
#include <span>

namespace velquon {

constexpr float kMax8 = 255.0f;     // bits 0x437F0000
constexpr float kMax16 = 65535.0f;  // bits 0x477FFF00

inline float unit_from_u8(std::uint8_t v) { return static_cast<float>(v) / kMax8; }
inline float unit_from_u16(std::uint16_t v) { return static_cast<float>(v) / kMax16; }

// `channels` samples per pixel: 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA. Writes three floats per
// pixel to `rgb` (which gives the pixel count): grey repeated into R, G and B, alpha left out.
void u8_samples_to_rgb(std::span<const std::uint8_t> samples, int channels, std::span<float> rgb);
void u16_samples_to_rgb(std::span<const std::uint16_t> samples, int channels, std::span<float> rgb);
// 16-bit samples as PNG stores them, most significant byte first.
void be16_samples_to_rgb(std::span<const std::uint8_t> bytes, int channels, std::span<float> rgb);

}  // namespace velquon
