#include <stb_image.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "colour/pixel_buffer.h"
#include "icc/general_checks.h"
#include "icc/general_formats.h"
#include "icc/os_error.h"
#include "icc/stb_radiance.h"

namespace velquon {

namespace {

// stb's Radiance reader does not notice the end of its input: past it, it reads zero bytes, and
// a run-length scanline of zero-length runs never ends. The reader below therefore feeds it
// line feeds past the end, which end every loop of the decoder (a header line, a run, a
// scanline), and remembers that the file was too short.
constexpr char kPastEndByte = '\n';

struct Source {
  std::FILE* file;
  bool past_end = false;
  std::optional<int> read_errno;
};

int read_callback(void* user, char* data, int size) {
  auto* source = static_cast<Source*>(user);
  if (size <= 0) return 0;
  auto wanted = static_cast<std::size_t>(size);
  std::size_t got = source->past_end ? 0 : std::fread(data, 1, wanted, source->file);
  if (got < wanted && std::ferror(source->file) && !source->read_errno) {
    source->read_errno = errno;
  }
  // A short refill is the normal end of the data; a short exact request or an empty refill
  // means the decoder wanted bytes the file does not have.
  bool refill = size == kStbRefillBytes;
  if (got == wanted || (refill && got > 0)) return static_cast<int>(got);
  source->past_end = true;
  std::memset(data + got, kPastEndByte, wanted - got);
  return size;
}

void skip_callback(void* user, int n) {
  auto* source = static_cast<Source*>(user);
  if (std::fseek(source->file, n, SEEK_CUR) != 0) source->past_end = true;
}

// The end is reported only once the decoder has read past it, so that a header line cut short
// is seen as a short file rather than as a complete line.
int eof_callback(void* user) { return static_cast<Source*>(user)->past_end ? 1 : 0; }

constexpr stbi_io_callbacks kCallbacks{read_callback, skip_callback, eof_callback};

std::string hdr_error(const std::string& cause) { return "Radiance HDR decoding failed: " + cause; }

// The failure of a pass over the file: a short or failed read explains whatever stb said.
std::string pass_error(const Source& source) {
  if (source.read_errno) return hdr_error("read error: " + os_error_text(*source.read_errno));
  if (source.past_end) return hdr_error("unexpected end of file");
  const char* reason = stbi_failure_reason();
  std::string text = reason != nullptr ? reason : "unknown error";
  // stb's own words for the header failures are terse; say what is wrong with the file.
  if (text == "unknown image type") text = "not a Radiance HDR file";
  if (text == "unsupported format") text = "unsupported format (no FORMAT=32-bit_rle_rgbe line)";
  if (text == "unsupported data layout") {
    text = "unsupported data layout (the size line is not \"-Y height +X width\")";
  }
  return hdr_error(text);
}

struct StbFree {
  void operator()(float* samples) const { stbi_image_free(samples); }
};

}  // namespace

GeneralResult read_general_hdr(std::FILE* file) {
  long start = std::ftell(file);
  if (start < 0)
    return std::unexpected(hdr_error("cannot tell the position: " + os_error_text(errno)));

  // The header alone first, so the size is checked before the decoder allocates the image.
  Source header{file, false, std::nullopt};
  int width = 0;
  int height = 0;
  int components = 0;
  bool header_ok = stbi_info_from_callbacks(&kCallbacks, &header, &width, &height, &components);
  if (header.read_errno) return std::unexpected(pass_error(header));
  if (header_ok) {
    if (width <= 0 || height <= 0) return std::unexpected(hdr_error("invalid image size"));
    // Native samples: three 32-bit floats per pixel.
    if (auto error = general_size_error(static_cast<std::uint64_t>(width),
                                        static_cast<std::uint64_t>(height), 3 * sizeof(float))) {
      return std::unexpected(*error);
    }
  }
  // A header stb cannot read is decoded anyway: the decoder fails on it before allocating and
  // names the problem, where the header pass only says the type is unknown.
  if (std::fseek(file, start, SEEK_SET) != 0) {
    return std::unexpected(hdr_error("cannot seek: " + os_error_text(errno)));
  }
  std::clearerr(file);

  Source body{file, false, std::nullopt};
  int decoded_width = 0;
  int decoded_height = 0;
  std::unique_ptr<float, StbFree> samples(stbi_loadf_from_callbacks(
      &kCallbacks, &body, &decoded_width, &decoded_height, &components, 3));
  if (!samples || body.past_end || body.read_errno) return std::unexpected(pass_error(body));
  if (!header_ok || decoded_width != width || decoded_height != height) {
    return std::unexpected(hdr_error("the decoded size differs from the header"));
  }

  auto pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  colour::PixelBuffer data = colour::PixelBuffer::with_capacity(pixels);
  const float* p = samples.get();
  for (std::uint64_t i = 0; i < pixels; ++i, p += 3) data.push_back({p[0], p[1], p[2]});
  return DecodedImage{std::move(data), std::nullopt, static_cast<std::uint64_t>(width),
                      static_cast<std::uint64_t>(height)};
}

}  // namespace velquon
