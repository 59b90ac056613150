#include "icc/decode_image.h"

namespace velquon {

// Placeholder until the front end's own path lands: the general readers decode the file.
Decoded<DecodedImage> decode_png(const std::filesystem::path& path, bool) {
  return decode_general(path);
}

}  // namespace velquon
