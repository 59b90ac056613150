#include "icc/decode_image.h"

#include "icc/extension.h"

namespace velquon {

Decoded<DecodedImage> decode_image(const std::filesystem::path& path, bool apply_icc) {
  switch (choose_decode_path(path)) {
    case DecodePath::Png:
      return decode_png(path, apply_icc);
    case DecodePath::Jpeg:
      return decode_jpeg(path, apply_icc);
    case DecodePath::General:
      break;
  }
  return decode_general(path);
}

}  // namespace velquon
