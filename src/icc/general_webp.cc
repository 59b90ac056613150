#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "colour/pixel_buffer.h"
#include "colour/vec.h"
#include "icc/general_checks.h"
#include "icc/general_formats.h"
#include "icc/os_error.h"
#include "icc/sample_convert.h"

namespace velquon {

namespace {

constexpr std::size_t kRiffHeaderBytes = 12;

std::string status_text(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OK:
      return "no error";
    case VP8_STATUS_OUT_OF_MEMORY:
      return "out of memory";
    case VP8_STATUS_INVALID_PARAM:
      return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR:
      return "invalid bitstream";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      return "unsupported feature";
    case VP8_STATUS_SUSPENDED:
      return "decoding suspended";
    case VP8_STATUS_USER_ABORT:
      return "decoding aborted";
    case VP8_STATUS_NOT_ENOUGH_DATA:
      return "unexpected end of file";
  }
  return "unknown error " + std::to_string(static_cast<int>(status));
}

std::string webp_error(const std::string& cause) { return "WebP decoding failed: " + cause; }

std::uint32_t le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Reads exactly `count` bytes into the end of `bytes`, or tells why it could not.
std::optional<std::string> read_exact(std::FILE* file, colour::Vec<std::uint8_t>& bytes,
                                      std::size_t offset, std::size_t count) {
  std::size_t got = std::fread(bytes.data() + offset, 1, count, file);
  if (got == count) return std::nullopt;
  if (std::ferror(file)) return "read error: " + os_error_text(errno);
  return std::string("unexpected end of file");
}

// The whole RIFF container, read only as far as its header says, so that a large file that is
// not WebP is never read into memory.
std::optional<std::string> read_container(std::FILE* file, colour::Vec<std::uint8_t>& bytes) {
  colour::Vec<std::uint8_t> header = colour::Vec<std::uint8_t>::zeroed(kRiffHeaderBytes);
  if (auto error = read_exact(file, header, 0, kRiffHeaderBytes)) return error;
  if (std::memcmp(header.data(), "RIFF", 4) != 0 || std::memcmp(header.data() + 8, "WEBP", 4)) {
    return "not a WebP file (no RIFF WEBP header)";
  }
  // The RIFF size counts everything after its own field.
  std::uint64_t total = 8 + static_cast<std::uint64_t>(le32(header.data() + 4));
  if (total < kRiffHeaderBytes) return "invalid RIFF size";
  // The size field is the file's claim, not its length: the buffer grows with the bytes that
  // actually arrive, so a short file claiming 4 GiB fails having taken little more than itself.
  constexpr std::uint64_t kFirstRead = std::uint64_t{1} << 20;
  std::uint64_t held = std::min(total, kFirstRead);
  bytes = colour::Vec<std::uint8_t>::zeroed(held);
  std::memcpy(bytes.data(), header.data(), kRiffHeaderBytes);
  if (auto error = read_exact(file, bytes, kRiffHeaderBytes, held - kRiffHeaderBytes)) {
    return error;
  }
  while (held < total) {
    const std::uint64_t next = std::min(total, held * 2);
    auto larger = colour::Vec<std::uint8_t>::zeroed(next);
    std::memcpy(larger.data(), bytes.data(), held);
    bytes = std::move(larger);
    if (auto error = read_exact(file, bytes, held, next - held)) return error;
    held = next;
  }
  return std::nullopt;
}

colour::PixelBuffer to_pixels(const std::uint8_t* samples, std::uint64_t pixels, int channels) {
  colour::PixelBuffer data = colour::PixelBuffer::zeroed(pixels);
  u8_samples_to_rgb({samples, colour::checked_byte_size(pixels, channels, 1)}, channels,
                    colour::flat(data));
  return data;
}

struct AnimDecoderDeleter {
  void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

GeneralResult decode_first_frame(const colour::Vec<std::uint8_t>& bytes, std::uint64_t width,
                                 std::uint64_t height) {
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) {
    return std::unexpected(webp_error("incompatible libwebp version"));
  }
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  WebPData data{bytes.data(), bytes.size()};
  std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> decoder(WebPAnimDecoderNew(&data, &options));
  if (!decoder) return std::unexpected(webp_error("invalid animation"));
  WebPAnimInfo info;
  if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) {
    return std::unexpected(webp_error("invalid animation"));
  }
  if (info.canvas_width != width || info.canvas_height != height || info.frame_count == 0) {
    return std::unexpected(webp_error("inconsistent animation canvas"));
  }
  std::uint8_t* frame = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp) || frame == nullptr) {
    return std::unexpected(webp_error("the first frame cannot be decoded"));
  }
  // The frame is the full canvas, straight (not premultiplied) RGBA; alpha is dropped.
  return DecodedImage{to_pixels(frame, width * height, 4), std::nullopt, width, height};
}

GeneralResult decode_still(const colour::Vec<std::uint8_t>& bytes, std::uint64_t width,
                           std::uint64_t height) {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) {
    return std::unexpected(webp_error("incompatible libwebp version"));
  }
  // Straight RGB output: the colour under transparent pixels stays as stored, not composited.
  colour::Vec<std::uint8_t> rgb = colour::Vec<std::uint8_t>::zeroed(width * height * 3);
  config.options.use_threads = 0;
  config.output.colorspace = MODE_RGB;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = rgb.data();
  config.output.u.RGBA.stride = static_cast<int>(width * 3);
  config.output.u.RGBA.size = rgb.size();
  VP8StatusCode status = WebPDecode(bytes.data(), bytes.size(), &config);
  bool same_size = static_cast<std::uint64_t>(config.output.width) == width &&
                   static_cast<std::uint64_t>(config.output.height) == height;
  WebPFreeDecBuffer(&config.output);
  if (status != VP8_STATUS_OK) return std::unexpected(webp_error(status_text(status)));
  if (!same_size) return std::unexpected(webp_error("decoded size differs from the header"));
  return DecodedImage{to_pixels(rgb.data(), width * height, 3), std::nullopt, width, height};
}

}  // namespace

GeneralResult read_general_webp(std::FILE* file) {
  colour::Vec<std::uint8_t> bytes;
  if (auto error = read_container(file, bytes)) return std::unexpected(webp_error(*error));

  WebPBitstreamFeatures features;
  VP8StatusCode status = WebPGetFeatures(bytes.data(), bytes.size(), &features);
  if (status != VP8_STATUS_OK) return std::unexpected(webp_error(status_text(status)));
  if (features.width <= 0 || features.height <= 0) {
    return std::unexpected(webp_error("invalid image size"));
  }
  auto width = static_cast<std::uint64_t>(features.width);
  auto height = static_cast<std::uint64_t>(features.height);
  // Native samples: 8-bit RGB, or RGBA when the image has alpha; an animation is decoded on an
  // RGBA canvas.
  bool rgba = features.has_alpha || features.has_animation;
  if (auto error = general_size_error(width, height, rgba ? 4 : 3)) {
    return std::unexpected(*error);
  }
  if (features.has_animation) return decode_first_frame(bytes, width, height);
  return decode_still(bytes, width, height);
}

}  // namespace velquon
