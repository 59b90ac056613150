#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "icc/decode_image.h"
#include "icc/extension.h"
#include "icc/general_formats.h"
#include "icc/os_error.h"

namespace velquon {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

using Reader = GeneralResult (*)(std::FILE*);

Reader reader_for(const std::string& extension) {
  if (extension == "png" || extension == "apng") return read_general_png;
  if (extension == "jpg" || extension == "jpeg" || extension == "jfif") return read_general_jpeg;
  if (extension == "webp") return read_general_webp;
  if (extension == "exr") return read_general_exr;
  if (extension == "hdr") return read_general_hdr;
  return nullptr;
}

// The extension as the message shows it: quoted, with control bytes escaped so that a hostile
// name cannot rewrite the terminal.
std::string quoted(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string unsupported_format(const std::optional<std::string>& extension) {
  if (!extension) return "unsupported image format (the file name has no extension)";
  if (extension->empty()) return "unsupported image format (the file name has an empty extension)";
  return "unsupported image format " + quoted(*extension);
}

DecodeError failure(const std::string& cause) {
  return DecodeError{"Failed to open image file: " + cause};
}

}  // namespace

Decoded<DecodedImage> decode_general(const std::filesystem::path& path) {
  // The open comes first, so a missing file is reported as such whatever its name.
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) return std::unexpected(failure(os_error_text(errno)));

  std::optional<std::string> extension = lowercase_extension(path);
  Reader reader = extension ? reader_for(*extension) : nullptr;
  if (reader == nullptr) return std::unexpected(failure(unsupported_format(extension)));

  GeneralResult image = reader(file.get());
  file.reset();
  if (!image) return std::unexpected(failure(image.error()));

  std::uint64_t expected = image->width * image->height;
  if (image->data.size() != expected) {
    return std::unexpected(failure("the decoder delivered " + std::to_string(image->data.size()) +
                                   " of " + std::to_string(expected) + " pixels"));
  }
  // A NaN or infinite sample would compare as a perfect match in the metric and could score
  // garbage as identical, so such images are refused instead of scored.
  for (float sample : colour::flat(image->data)) {
    if (!std::isfinite(sample)) {
      return std::unexpected(failure("the image holds NaN or infinite sample values"));
    }
  }
  return std::move(*image);
}

}  // namespace velquon
