#include "icc/decode_image.h"

namespace velquon {

Decoded<DecodedImage> decode_general(const std::filesystem::path&) {
  return std::unexpected(DecodeError{"Failed to open image file: not implemented yet"});
}

}  // namespace velquon
