#pragma once

#include <cstdint>
#include <cstdio>
#include <expected>
#include <optional>
#include <string>

#include "colour/vec.h"

namespace velquon {

enum class JpegColour : std::uint8_t { Grey, Rgb, Cmyk };

// An 8-bit JPEG image as libjpeg decodes it: grey, RGB (converted from YCbCr by the library) or
// CMYK (also from YCCK), interleaved, row by row. CMYK bytes are ink amounts, 0 none and 255
// full: the stored bytes complemented, as the usual writers store them inverted.
struct JpegImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  JpegColour colour = JpegColour::Grey;
  colour::Vec<std::uint8_t> pixels;
  // Assembled from the APP2 "ICC_PROFILE" segments, when asked for and they are consistent.
  std::optional<colour::Vec<std::uint8_t>> icc_profile;
};

struct JpegReadOptions {
  bool read_icc = false;
  // The decoded pixels may take at most this many bytes.
  std::uint64_t max_image_bytes = UINT64_MAX;
};

// Decodes the whole image from an open file (the caller keeps it), or returns the library's
// message. Corrupt or truncated data, which libjpeg itself only warns about, is a failure.
std::expected<JpegImage, std::string> read_jpeg_image(std::FILE* file,
                                                      const JpegReadOptions& options);

}  // namespace velquon
