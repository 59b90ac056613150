#pragma once

#include <filesystem>

#include "icc/decoded_image.h"

namespace velquon {

// Chooses the decoder by the extension of the path's last component (never by content):
// "png" -> decode_png, "jpg"/"jpeg" -> decode_jpeg, anything else -> decode_general.
Decoded<DecodedImage> decode_image(const std::filesystem::path& path, bool apply_icc);

Decoded<DecodedImage> decode_png(const std::filesystem::path& path, bool apply_icc);
Decoded<DecodedImage> decode_jpeg(const std::filesystem::path& path, bool apply_icc);
Decoded<DecodedImage> decode_general(const std::filesystem::path& path);

}  // namespace velquon
