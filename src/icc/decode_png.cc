#include "icc/decode_png.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "colour/invariant.h"
#include "icc/decode_image.h"
#include "icc/icc_transform.h"
#include "icc/os_error.h"
#include "icc/png_reader.h"
#include "icc/sample_convert.h"

namespace velquon {
namespace {

DecodedImage from_16bit(const PngImage& png, std::optional<ProfileBytes> profile, bool has_alpha) {
  const std::uint64_t n = static_cast<std::uint64_t>(png.width) * png.height;
  const std::size_t stride = static_cast<std::size_t>(png.channels) * 2;
  colour::assert_equal(png.data.size(), n * stride);
  const std::uint8_t* d = png.data.data();
  auto sample = [d](std::size_t at) {
    return static_cast<std::uint16_t>((d[at] << 8) | d[at + 1]);
  };
  auto triples = colour::Vec<Rgb16>::zeroed(n);
  std::optional<colour::Vec<float>> alpha;
  if (has_alpha) alpha = colour::Vec<float>::zeroed(n);
  const bool grey = png.channels < 3;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t o = i * stride;
    if (grey) {
      std::uint16_t v = sample(o);
      triples[i] = {v, v, v};
    } else {
      triples[i] = {sample(o), sample(o + 2), sample(o + 4)};
    }
    if (has_alpha) (*alpha)[i] = unit_from_u16(sample(o + stride - 2));
  }
  if (profile) triples = apply_icc_transform_u16(std::move(triples), *profile);

  DecodedImage out{colour::PixelBuffer::zeroed_to_fill(triples.size()), std::move(alpha), png.width,
                   png.height};
  static_assert(sizeof(Rgb16) == 3 * sizeof(std::uint16_t));
  u16_samples_to_rgb({reinterpret_cast<const std::uint16_t*>(triples.data()), triples.size() * 3},
                     3, colour::flat(out.data));
  return out;
}

DecodedImage from_8bit(const PngImage& png, std::optional<ProfileBytes> profile, bool has_alpha) {
  const std::uint64_t n = static_cast<std::uint64_t>(png.width) * png.height;
  const std::size_t stride = static_cast<std::size_t>(png.channels);
  colour::assert_equal(png.data.size(), n * stride);
  const std::uint8_t* d = png.data.data();
  std::optional<colour::Vec<float>> alpha;
  if (has_alpha) alpha = colour::Vec<float>::zeroed(n);
  if (!profile) {
    // Without a profile the triples would come back unchanged: convert the stored samples
    // directly and skip the intermediate copy.
    for (std::size_t i = 0; has_alpha && i < n; ++i) {
      (*alpha)[i] = unit_from_u8(d[i * stride + stride - 1]);
    }
    DecodedImage out{colour::PixelBuffer::zeroed_to_fill(n), std::move(alpha), png.width,
                     png.height};
    u8_samples_to_rgb(png.data.span(), png.channels, colour::flat(out.data));
    return out;
  }
  Bytes bytes = Bytes::zeroed(colour::checked_byte_size(n, 3, 1));
  const bool grey = png.channels < 3;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t o = i * stride;
    std::uint8_t* t = bytes.data() + i * 3;
    if (grey) {
      t[0] = t[1] = t[2] = d[o];
    } else {
      t[0] = d[o];
      t[1] = d[o + 1];
      t[2] = d[o + 2];
    }
    if (has_alpha) (*alpha)[i] = unit_from_u8(d[o + stride - 1]);
  }
  bytes = apply_icc_transform_u8(std::move(bytes), profile);

  DecodedImage out{colour::PixelBuffer::zeroed_to_fill(bytes.size() / 3), std::move(alpha),
                   png.width, png.height};
  u8_samples_to_rgb(bytes.span(), 3, colour::flat(out.data));
  return out;
}

}  // namespace

Decoded<DecodedImage> decode_png_file(std::FILE* file, bool apply_icc) {
  auto png = read_png_image(file, PngReadOptions{.read_icc = apply_icc});
  if (!png) {
    switch (png.error().stage) {
      case PngStage::Info:
        return std::unexpected(DecodeError{"Failed to read PNG info: " + png.error().message});
      case PngStage::TooLarge:
        return std::unexpected(DecodeError{"Decoded image too large for system RAM"});
      case PngStage::Frame:
        return std::unexpected(DecodeError{"Failed to decode PNG frame: " + png.error().message});
    }
  }
  std::optional<ProfileBytes> profile;
  if (png->icc_profile) profile = png->icc_profile->span();
  const bool has_alpha = png->color_type == 4 || png->color_type == 6;
  if (png->bit_depth == 16) return from_16bit(*png, profile, has_alpha);
  return from_8bit(*png, profile, has_alpha);
}

Decoded<DecodedImage> decode_png(const std::filesystem::path& path, bool apply_icc) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file)
    return std::unexpected(DecodeError{"Failed to open PNG file: " + os_error_text(errno)});
  std::setvbuf(file.get(), nullptr, _IOFBF, 8192);
  return decode_png_file(file.get(), apply_icc);
}

}  // namespace velquon
