#include "fuzz/fuzz_inputs.h"

#include <stb_image.h>
#include <webp/decode.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "colour/invariant.h"
#include "icc/decode_jpeg.h"
#include "icc/decode_png.h"
#include "icc/general_formats.h"
#include "icc/icc_transform.h"
#include "main/cli.h"

namespace velquon::fuzz {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The bytes as a read-only file, the way the decoders see a file on disk.
File memory_file(std::span<const std::uint8_t> bytes) {
  // fmemopen refuses a zero-length buffer on some C libraries; an empty file is one byte's
  // buffer read as nothing.
  static const std::uint8_t kNothing = 0;
  if (bytes.empty()) {
    File file(fmemopen(const_cast<std::uint8_t*>(&kNothing), 1, "rb"));
    if (file) std::fgetc(file.get());
    return file;
  }
  return File(fmemopen(const_cast<std::uint8_t*>(bytes.data()), bytes.size(), "rb"));
}

// The own paths promise one entry per pixel, and alpha of the same length where present.
std::optional<std::string> check_decoded(const Decoded<DecodedImage>& image) {
  if (!image) return std::nullopt;
  const std::uint64_t pixels = image->width * image->height;
  if (image->data.size() != pixels) {
    return "decoded " + std::to_string(image->data.size()) + " entries for " +
           std::to_string(pixels) + " pixels";
  }
  if (image->alpha && image->alpha->size() != pixels) return std::string("alpha of wrong length");
  return std::nullopt;
}

// Three formats let a few valid bytes describe an image of hundreds of megapixels: arithmetic
// coding may code flat blocks in next to nothing (and supplies zeros once the data ends),
// lossless WebP may code a single colour in no bits at all, and a Radiance run-length scanline
// repeats one value across the whole row. Decoding those takes memory in
// proportion to the pixels, as any image of that size does, so the targets pass over images
// announcing more than this many pixels in those formats. Huffman JPEG and PNG data cannot
// describe that many pixels in a fuzz-sized input, so their size checks stay fuzzed in full.
constexpr std::uint64_t kValidPixelBudget = std::uint64_t{1} << 24;

bool large_arithmetic_jpeg(std::span<const std::uint8_t> bytes) {
  for (std::size_t i = 0; i + 9 <= bytes.size(); ++i) {
    const std::uint8_t marker = bytes[i + 1];
    if (bytes[i] != 0xFF || marker < 0xC9 || marker > 0xCF || marker == 0xCC) continue;
    const std::uint64_t height = (bytes[i + 5] << 8) | bytes[i + 6];
    const std::uint64_t width = (bytes[i + 7] << 8) | bytes[i + 8];
    if (width * height > kValidPixelBudget) return true;
  }
  return false;
}

bool large_webp(std::span<const std::uint8_t> bytes) {
  int width = 0;
  int height = 0;
  if (!WebPGetInfo(bytes.data(), bytes.size(), &width, &height)) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK) return false;
    width = features.width;
    height = features.height;
  }
  return static_cast<std::uint64_t>(std::max(width, 0)) *
             static_cast<std::uint64_t>(std::max(height, 0)) >
         kValidPixelBudget;
}

bool large_hdr(std::span<const std::uint8_t> bytes) {
  int width = 0;
  int height = 0;
  int channels = 0;
  if (bytes.size() > static_cast<std::size_t>(INT32_MAX) ||
      !stbi_info_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height,
                             &channels)) {
    return false;
  }
  return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kValidPixelBudget;
}

// Own decoding paths: the first byte chooses apply_icc, so both roads see every file.
template <Decoded<DecodedImage> (*Decode)(std::FILE*, bool)>
std::optional<std::string> own_path(std::span<const std::uint8_t> input) {
  if (input.empty()) return std::nullopt;
  if (Decode == decode_jpeg_file && large_arithmetic_jpeg(input.subspan(1))) return std::nullopt;
  const bool apply_icc = (input[0] & 1) != 0;
  File file = memory_file(input.subspan(1));
  if (!file) return std::nullopt;
  return check_decoded(Decode(file.get(), apply_icc));
}

template <GeneralResult (*Read)(std::FILE*)>
std::optional<std::string> general_path(std::span<const std::uint8_t> input) {
  if (Read == read_general_webp && large_webp(input)) return std::nullopt;
  if (Read == read_general_hdr && large_hdr(input)) return std::nullopt;
  File file = memory_file(input);
  if (!file) return std::nullopt;
  // A reader that delivers fewer pixels than announced is reported by decode_general as an
  // ordinary failure, so only the reader's own contract is checked here: no alpha plane.
  GeneralResult image = Read(file.get());
  if (image && image->alpha) return std::string("the general path returned an alpha plane");
  return std::nullopt;
}

// Byte 0 chooses the conversion, bytes 1 to 3 give the profile's length (little-endian), the
// profile follows and the rest are pixels, cut to whole pixels as every caller hands them.
std::optional<std::string> icc_conversions(std::span<const std::uint8_t> input) {
  if (input.size() < 4) return std::nullopt;
  const int mode = input[0] % 3;
  const std::size_t declared =
      input[1] | (std::size_t{input[2]} << 8) | (std::size_t{input[3]} << 16);
  std::span<const std::uint8_t> rest = input.subspan(4);
  const std::size_t profile_size = std::min(declared, rest.size());
  ProfileBytes profile = rest.first(profile_size);
  std::span<const std::uint8_t> pixels = rest.subspan(profile_size);
  switch (mode) {
    case 0: {
      const std::size_t n = pixels.size() / 3 * 3;
      Bytes out = apply_icc_transform_u8(Bytes::from(pixels.first(n)), profile);
      if (out.size() != n) return std::string("8-bit conversion changed the length");
      break;
    }
    case 1: {
      const std::size_t n = pixels.size() / 6;
      auto triples = colour::Vec<Rgb16>::zeroed(n);
      if (n != 0) std::memcpy(triples.data(), pixels.data(), n * 6);
      auto out = apply_icc_transform_u16(std::move(triples), profile);
      if (out.size() != n) return std::string("16-bit conversion changed the length");
      break;
    }
    default: {
      const std::size_t n = pixels.size() / 4;
      Bytes out = apply_icc_transform_cmyk(pixels.first(n * 4), profile, n);
      if (out.size() != n * 3) return std::string("CMYK conversion gave the wrong length");
      break;
    }
  }
  return std::nullopt;
}

// The input split on NUL bytes is the argument list, program path first.
std::optional<std::string> command_line(std::span<const std::uint8_t> input) {
  std::vector<std::string> args;
  std::string word;
  for (std::uint8_t byte : input) {
    if (byte == 0) {
      args.push_back(std::move(word));
      word.clear();
    } else {
      word.push_back(static_cast<char>(byte));
    }
  }
  if (!input.empty()) args.push_back(std::move(word));
  auto cli = parse_cli(args);
  if (!cli) {
    const int status = cli.error().status;
    if (status != 0 && status != 2) return "exit status " + std::to_string(status);
    if (status == 2 && cli.error().stream != OutputStream::Stderr) {
      return std::string("an error goes to standard output");
    }
    return std::nullopt;
  }
  const auto& image = std::get<ImageCommand>(cli->command);
  if (image.source.empty() || image.distorted.empty()) return std::string("an empty path parsed");
  return std::nullopt;
}

}  // namespace

std::string_view target_name(Target target) {
  switch (target) {
    case Target::Png:
      return "png";
    case Target::Jpeg:
      return "jpeg";
    case Target::Webp:
      return "webp";
    case Target::Exr:
      return "exr";
    case Target::Hdr:
      return "hdr";
    case Target::Icc:
      return "icc";
    case Target::Cli:
      return "cli";
  }
  return "";
}

std::optional<std::string> run_input(Target target, std::span<const std::uint8_t> input) {
  // Every target's input is one a user can supply, and each function must answer it with a
  // value: a broken invariant or any other exception escaping is a finding.
  try {
    switch (target) {
      case Target::Png:
        return own_path<decode_png_file>(input);
      case Target::Jpeg:
        return own_path<decode_jpeg_file>(input);
      case Target::Webp:
        return general_path<read_general_webp>(input);
      case Target::Exr:
        return general_path<read_general_exr>(input);
      case Target::Hdr:
        return general_path<read_general_hdr>(input);
      case Target::Icc:
        return icc_conversions(input);
      case Target::Cli:
        return command_line(input);
    }
  } catch (const colour::InvariantError& error) {
    return std::string("broken invariant: ") + error.what();
  } catch (const std::exception& error) {
    return std::string("exception: ") + error.what();
  }
  return std::nullopt;
}

}  // namespace velquon::fuzz
