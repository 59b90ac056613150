#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "icc/general_formats.h"

namespace velquon {

// The cause text when an image of this size would take more than the general path's limit in
// its decoder's native sample format; checked before anything of that size is allocated.
inline std::optional<std::string> general_size_error(std::uint64_t width, std::uint64_t height,
                                                     std::uint64_t bytes_per_pixel) {
  // A side longer than the limit is over it whatever the other side; below that the pixel count
  // cannot overflow.
  bool over = width > kGeneralDecodeLimitBytes || height > kGeneralDecodeLimitBytes ||
              (bytes_per_pixel != 0 && width * height > kGeneralDecodeLimitBytes / bytes_per_pixel);
  if (!over) return std::nullopt;
  return "image of " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels is larger than the decoding limit of " +
         std::to_string(kGeneralDecodeLimitBytes) + " bytes";
}

}  // namespace velquon
