#include "fixtures_general.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <half.h>
#include <webp/encode.h>

#include <cmath>
#include <stdexcept>

namespace velquon::test {

namespace {

void put_le(Bytes& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void put_chunk(Bytes& out, const char* fourcc, const Bytes& payload) {
  out.insert(out.end(), fourcc, fourcc + 4);
  put_le(out, static_cast<std::uint32_t>(payload.size()), 4);
  out.insert(out.end(), payload.begin(), payload.end());
  if (payload.size() % 2 != 0) out.push_back(0);
}

Bytes riff(const Bytes& body) {
  Bytes out{'R', 'I', 'F', 'F'};
  put_le(out, static_cast<std::uint32_t>(4 + body.size()), 4);
  out.insert(out.end(), {'W', 'E', 'B', 'P'});
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes encode_lossless(std::uint32_t width, std::uint32_t height, int channels,
                      const Bytes& samples) {
  WebPConfig config;
  WebPPicture picture;
  if (!WebPConfigInit(&config) || !WebPPictureInit(&picture)) {
    throw std::runtime_error("libwebp version mismatch");
  }
  config.lossless = 1;
  config.exact = 1;
  picture.use_argb = 1;
  picture.width = static_cast<int>(width);
  picture.height = static_cast<int>(height);
  int stride = static_cast<int>(width) * channels;
  int imported = channels == 4 ? WebPPictureImportRGBA(&picture, samples.data(), stride)
                               : WebPPictureImportRGB(&picture, samples.data(), stride);
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  picture.writer = WebPMemoryWrite;
  picture.custom_ptr = &writer;
  bool ok = imported && WebPEncode(&config, &picture);
  WebPPictureFree(&picture);
  Bytes out(writer.mem, writer.mem + writer.size);
  WebPMemoryWriterClear(&writer);
  if (!ok) throw std::runtime_error("WebP encoding failed");
  return out;
}

// The image chunks of a simple WebP file: everything after the RIFF header.
Bytes image_chunks(const Bytes& file) { return Bytes(file.begin() + 12, file.end()); }

Bytes animation(std::uint32_t width, std::uint32_t height, const std::vector<Bytes>& frames,
                std::uint32_t frame_width, std::uint32_t frame_height) {
  Bytes vp8x;
  vp8x.push_back(0x02 | 0x10);  // animation, alpha
  put_le(vp8x, 0, 3);
  put_le(vp8x, width - 1, 3);
  put_le(vp8x, height - 1, 3);
  Bytes anim;
  put_le(anim, 0, 4);  // background colour
  put_le(anim, 0, 2);  // loop forever
  Bytes body;
  put_chunk(body, "VP8X", vp8x);
  put_chunk(body, "ANIM", anim);
  for (const Bytes& frame : frames) {
    Bytes anmf;
    put_le(anmf, 0, 3);
    put_le(anmf, 0, 3);
    put_le(anmf, frame_width - 1, 3);
    put_le(anmf, frame_height - 1, 3);
    put_le(anmf, 100, 3);
    anmf.push_back(0x02);  // do not blend, no disposal
    Bytes chunks = image_chunks(encode_lossless(frame_width, frame_height, 4, frame));
    anmf.insert(anmf.end(), chunks.begin(), chunks.end());
    put_chunk(body, "ANMF", anmf);
  }
  return riff(body);
}

// Run-length coding of one channel of a scanline: runs of three or more equal bytes as runs,
// the rest as literal dumps.
void put_rle_channel(Bytes& out, const std::vector<std::uint8_t>& values) {
  std::size_t i = 0;
  auto run_at = [&](std::size_t start) {
    std::size_t n = 1;
    while (start + n < values.size() && n < 127 && values[start + n] == values[start]) ++n;
    return n;
  };
  while (i < values.size()) {
    std::size_t run = run_at(i);
    if (run >= 3) {
      out.push_back(static_cast<std::uint8_t>(128 + run));
      out.push_back(values[i]);
      i += run;
      continue;
    }
    std::size_t start = i;
    while (i < values.size() && i - start < 128 && run_at(i) < 3) ++i;
    out.push_back(static_cast<std::uint8_t>(i - start));
    out.insert(out.end(), values.begin() + static_cast<std::ptrdiff_t>(start),
               values.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

}  // namespace

void write_webp(const std::filesystem::path& path, std::uint32_t width, std::uint32_t height,
                int channels, const Bytes& samples) {
  write_file(path, encode_lossless(width, height, channels, samples));
}

void write_animated_webp(const std::filesystem::path& path, std::uint32_t width,
                         std::uint32_t height, const std::vector<Bytes>& frames) {
  write_file(path, animation(width, height, frames, width, height));
}

void write_webp_canvas_only(const std::filesystem::path& path, std::uint32_t width,
                            std::uint32_t height) {
  write_file(path, animation(width, height, {Bytes{10, 20, 30, 255}}, 1, 1));
}

void write_exr(const std::filesystem::path& path, const ExrSpec& spec) {
  Imath::Box2i display({0, 0}, {spec.width - 1, spec.height - 1});
  Imath::Box2i data({spec.min_x, spec.min_y},
                    {spec.min_x + spec.width - 1, spec.min_y + spec.height - 1});
  Imf::Header header(display, data);
  Imf::PixelType type = spec.half ? Imf::HALF : Imf::FLOAT;
  for (const std::string& name : spec.channels) header.channels().insert(name, Imf::Channel(type));
  Imf::OutputFile file(path.c_str(), header, 1);
  if (!spec.write_pixels) return;

  std::size_t count = spec.channels.size();
  std::vector<half> halves(spec.samples.begin(), spec.samples.end());
  std::size_t size = spec.half ? sizeof(half) : sizeof(float);
  const char* base = spec.half ? reinterpret_cast<const char*>(halves.data())
                               : reinterpret_cast<const char*>(spec.samples.data());
  Imf::FrameBuffer frame;
  for (std::size_t c = 0; c < count; ++c) {
    frame.insert(spec.channels[c],
                 Imf::Slice::Make(type, base + c * size, data, count * size,
                                  count * size * static_cast<std::size_t>(spec.width)));
  }
  file.setFrameBuffer(frame);
  file.writePixels(spec.height);
}

void write_hdr(const std::filesystem::path& path, const HdrSpec& spec) {
  std::string head = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n";
  head += spec.size_line.empty()
              ? "-Y " + std::to_string(spec.height) + " +X " + std::to_string(spec.width)
              : spec.size_line;
  head += "\n";
  Bytes out(head.begin(), head.end());
  for (std::uint32_t y = 0; y < spec.height && y * spec.width < spec.rgbe.size(); ++y) {
    const auto* row = spec.rgbe.data() + static_cast<std::size_t>(y) * spec.width;
    if (!spec.run_length) {
      for (std::uint32_t x = 0; x < spec.width; ++x)
        out.insert(out.end(), row[x].begin(), row[x].end());
      continue;
    }
    out.insert(out.end(), {2, 2, static_cast<std::uint8_t>(spec.width >> 8),
                           static_cast<std::uint8_t>(spec.width & 0xFF)});
    for (int c = 0; c < 4; ++c) {
      std::vector<std::uint8_t> values;
      for (std::uint32_t x = 0; x < spec.width; ++x) values.push_back(row[x][c]);
      put_rle_channel(out, values);
    }
  }
  write_file(path, out);
}

float rgbe_value(std::uint8_t m, std::uint8_t e) {
  if (e == 0) return 0.0f;
  return static_cast<float>(m) * static_cast<float>(std::ldexp(1.0, e - 136));
}

}  // namespace velquon::test
