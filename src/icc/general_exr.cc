#include <Iex.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "colour/invariant.h"
#include "colour/pixel_buffer.h"
#include "icc/general_checks.h"
#include "icc/general_formats.h"
#include "icc/os_error.h"

namespace velquon {

namespace {

// OpenEXR's stream interface over the already opened file, so the file is read as the decoder
// asks for it instead of all at once.
class FileStream final : public Imf::IStream {
 public:
  explicit FileStream(std::FILE* file) : Imf::IStream(""), file_(file) {}

  bool read(char c[], int n) override {
    std::size_t count = n < 0 ? 0 : static_cast<std::size_t>(n);
    if (std::fread(c, 1, count, file_) != count) {
      if (std::ferror(file_)) throw Iex::InputExc("read error: " + os_error_text(errno));
      throw Iex::InputExc("unexpected end of file");
    }
    return !std::feof(file_);
  }

  std::uint64_t tellg() override {
    off_t position = ftello(file_);
    if (position < 0) throw Iex::InputExc("cannot tell the position: " + os_error_text(errno));
    return static_cast<std::uint64_t>(position);
  }

  void seekg(std::uint64_t position) override {
    if (position > static_cast<std::uint64_t>(INT64_MAX) ||
        fseeko(file_, static_cast<off_t>(position), SEEK_SET) != 0) {
      throw Iex::InputExc("cannot seek: " + os_error_text(errno));
    }
  }

  void clear() override { std::clearerr(file_); }

 private:
  std::FILE* file_;
};

std::string exr_error(const std::string& cause) { return "OpenEXR decoding failed: " + cause; }

// OpenEXR names the stream in its messages, and this stream has no name of its own.
std::string without_stream_name(std::string text) {
  const std::string named = "image file \"\". ";
  for (std::size_t at = text.find(named); at != std::string::npos; at = text.find(named, at)) {
    text.replace(at, named.size(), "the file: ");
  }
  return text;
}

std::uint64_t sample_bytes(Imf::PixelType type) { return type == Imf::HALF ? 2 : 4; }

GeneralResult read_exr(std::FILE* file) {
  FileStream stream(file);
  // No worker threads: the decoders run on the calling thread.
  Imf::InputFile input(stream, 0);
  const Imf::Header& header = input.header();
  const Imf::ChannelList& channels = header.channels();

  const Imf::Channel* red = channels.findChannel("R");
  const Imf::Channel* green = channels.findChannel("G");
  const Imf::Channel* blue = channels.findChannel("B");
  const Imf::Channel* luminance = channels.findChannel("Y");
  const Imf::Channel* alpha = channels.findChannel("A");
  bool rgb = red != nullptr && green != nullptr && blue != nullptr;
  if (!rgb && luminance == nullptr) {
    return std::unexpected(exr_error("the image has neither R, G and B nor Y channels"));
  }
  // Luminance with chroma is a colour image; read as grey it would lose its colour.
  if (!rgb && (channels.findChannel("RY") != nullptr || channels.findChannel("BY") != nullptr)) {
    return std::unexpected(exr_error("luminance-chroma (Y, RY, BY) images are not supported"));
  }
  std::vector<const Imf::Channel*> colour_set;
  if (rgb) {
    colour_set = {red, green, blue};
  } else {
    colour_set = {luminance};
  }
  if (alpha != nullptr) colour_set.push_back(alpha);
  std::uint64_t bytes_per_pixel = 0;
  for (const Imf::Channel* channel : colour_set) {
    if (channel->type != Imf::HALF && channel->type != Imf::FLOAT) {
      return std::unexpected(exr_error("only half and float channels are supported"));
    }
    if (channel->xSampling != 1 || channel->ySampling != 1) {
      return std::unexpected(exr_error("subsampled channels are not supported"));
    }
    bytes_per_pixel += sample_bytes(channel->type);
  }

  // The data window may lie anywhere, also at negative coordinates; only its size matters.
  const Imath::Box2i& window = header.dataWindow();
  std::int64_t signed_width = static_cast<std::int64_t>(window.max.x) - window.min.x + 1;
  std::int64_t signed_height = static_cast<std::int64_t>(window.max.y) - window.min.y + 1;
  if (signed_width <= 0 || signed_height <= 0) {
    return std::unexpected(exr_error("the data window is empty"));
  }
  auto width = static_cast<std::uint64_t>(signed_width);
  auto height = static_cast<std::uint64_t>(signed_height);
  if (auto error = general_size_error(width, height, bytes_per_pixel)) {
    return std::unexpected(*error);
  }

  // The decoder writes straight into the final buffer: R, G and B (or Y into R) at their
  // offsets in each 12-byte pixel; alpha is not read at all.
  colour::PixelBuffer data = colour::PixelBuffer::zeroed(width * height);
  constexpr std::size_t kStride = sizeof(colour::Pixel);
  Imf::FrameBuffer frame;
  float* base = colour::flat(data).data();
  auto add = [&](const char* name, std::size_t offset) {
    frame.insert(name,
                 Imf::Slice::Make(Imf::FLOAT, base + offset, window, kStride, kStride * width));
  };
  if (rgb) {
    add("R", 0);
    add("G", 1);
    add("B", 2);
  } else {
    add("Y", 0);
  }
  input.setFrameBuffer(frame);
  input.readPixels(window.min.y, window.max.y);
  if (!rgb) {
    for (colour::Pixel& pixel : data) pixel[2] = pixel[1] = pixel[0];
  }
  return DecodedImage{std::move(data), std::nullopt, width, height};
}

}  // namespace

GeneralResult read_general_exr(std::FILE* file) {
  // OpenEXR reports every failure by exception; none may cross into the caller.
  try {
    return read_exr(file);
  } catch (const colour::InvariantError&) {
    throw;
  } catch (const std::exception& error) {
    return std::unexpected(exr_error(without_stream_name(error.what())));
  }
}

}  // namespace velquon
