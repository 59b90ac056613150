#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fixtures.h"

namespace velquon::test {

// Lossless WebP of 8-bit RGB (channels 3) or RGBA (channels 4) samples; the colour under
// transparent pixels is kept exactly.
void write_webp(const std::filesystem::path& path, std::uint32_t width, std::uint32_t height,
                int channels, const Bytes& samples);

// An animated WebP whose frames (RGBA samples, each covering the whole canvas, not blended)
// follow one another in order.
void write_animated_webp(const std::filesystem::path& path, std::uint32_t width,
                         std::uint32_t height, const std::vector<Bytes>& frames);

// An animation header announcing a canvas of this size, holding one 1x1 frame.
void write_webp_canvas_only(const std::filesystem::path& path, std::uint32_t width,
                            std::uint32_t height);

struct ExrSpec {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t min_x = 0;  // data window origin; the display window stays at the origin
  std::int32_t min_y = 0;
  std::vector<std::string> channels;  // e.g. {"R", "G", "B"}, {"Y"}
  bool half = false;
  // Samples interleaved in the order of `channels`, row by row; rounded to half when `half`.
  std::vector<float> samples;
  bool write_pixels = true;  // false leaves the pixel data out, for size-limit tests
};

void write_exr(const std::filesystem::path& path, const ExrSpec& spec);

struct HdrSpec {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::array<std::uint8_t, 4>> rgbe;  // one mantissa triple and exponent per pixel
  bool run_length = false;                        // needs 8 <= width < 32768
  std::string size_line;                          // overrides "-Y h +X w" when set
};

// A Radiance RGBE file: header, blank line, size line, then flat or run-length scanlines.
void write_hdr(const std::filesystem::path& path, const HdrSpec& spec);

// The value a Radiance reader gives for mantissa m under exponent byte e (0 means zero).
float rgbe_value(std::uint8_t m, std::uint8_t e);

}  // namespace velquon::test
