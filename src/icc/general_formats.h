#pragma once

#include <cstdio>
#include <expected>
#include <string>

#include "icc/decoded_image.h"

namespace velquon {

// Readers of the general path. Each decodes the whole of an already opened file into float
// RGB (8-bit samples / 255, 16-bit / 65535, grey repeated, alpha dropped, float samples as
// they are, embedded colour information ignored, no alpha plane) or returns the cause of the
// failure; decode_general puts its message in front.
using GeneralResult = std::expected<DecodedImage, std::string>;

// A decoded image may take at most this many bytes in its decoder's native sample format.
inline constexpr std::uint64_t kGeneralDecodeLimitBytes = 0x20000000;

GeneralResult read_general_png(std::FILE* file);
GeneralResult read_general_jpeg(std::FILE* file);
GeneralResult read_general_webp(std::FILE* file);
GeneralResult read_general_exr(std::FILE* file);
GeneralResult read_general_hdr(std::FILE* file);

}  // namespace velquon
