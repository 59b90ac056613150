#include "icc/decode_image.h"

namespace velquon {

Decoded<DecodedImage> decode_image(const std::filesystem::path& path, bool apply_icc) {
  std::string ext = path.extension().string();
  if (ext == ".png") return decode_png(path, apply_icc);
  if (ext == ".jpg" || ext == ".jpeg") return decode_jpeg(path, apply_icc);
  return decode_general(path);
}

}  // namespace velquon
