#pragma once

#include <cstdint>
#include <cstdio>
#include <expected>
#include <optional>
#include <string>

#include "colour/vec.h"

namespace velquon {

// A PNG image as libpng delivers it with only the expansions that both PNG readers want:
// palettes become RGB (RGBA when the file has a tRNS chunk), grey below 8 bits becomes 8-bit
// grey. Nothing else is transformed: 16-bit samples stay big-endian, no gamma is applied, tRNS
// of grey and truecolour images is not turned into alpha. Interlaced images arrive in image
// order.
struct PngImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int color_type = 0;              // of the delivered samples: 0, 2, 4 or 6
  int bit_depth = 0;               // of the delivered samples: 8 or 16
  int channels = 0;                // 1, 3, 2 or 4 for the colour types above
  colour::Vec<std::uint8_t> data;  // height rows of width * channels * bit_depth / 8 bytes
  // The inflated payload of the first iCCP chunk, when asked for and the file has one.
  std::optional<colour::Vec<std::uint8_t>> icc_profile;
};

enum class PngStage : std::uint8_t {
  Info,      // signature, header or the chunks before the image data
  TooLarge,  // the decoded size overflows or exceeds the caller's limit
  Frame,     // the image data
};

struct PngFailure {
  PngStage stage;
  std::string message;  // libpng's text, the operating system's, or the size found
};

// libpng's per-chunk allocation limit, which also bounds the inflated iCCP profile.
inline constexpr std::uint64_t kPngChunkLimitBytes = 0x4000000;

struct PngReadOptions {
  bool read_icc = false;
  std::uint64_t max_image_bytes = 0x7FFFFFFFFFFFFFFF;
};

// Reads the whole image from an open file; the caller keeps the file.
std::expected<PngImage, PngFailure> read_png_image(std::FILE* file, const PngReadOptions& options);

}  // namespace velquon
