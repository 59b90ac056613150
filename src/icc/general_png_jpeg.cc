#include "icc/general_formats.h"
#include "icc/icc_transform.h"
#include "icc/jpeg_reader.h"
#include "icc/png_reader.h"

namespace velquon {

GeneralResult read_general_png(std::FILE* file) {
  auto png = read_png_image(file, PngReadOptions{.max_image_bytes = kGeneralDecodeLimitBytes});
  if (!png) return std::unexpected(std::move(png.error().message));
  const std::uint64_t n = std::uint64_t{png->width} * png->height;
  const std::size_t channels = static_cast<std::size_t>(png->channels);
  const bool grey = channels < 3;
  DecodedImage out{colour::PixelBuffer::zeroed(n), std::nullopt, png->width, png->height};
  const std::uint8_t* d = png->data.data();
  if (png->bit_depth == 16) {
    colour::assert_equal(png->data.size(), n * channels * 2);
    auto sample = [d](std::size_t k) {
      return static_cast<float>(static_cast<std::uint16_t>((d[2 * k] << 8) | d[2 * k + 1])) /
             65535.0f;
    };
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t s = i * channels;
      out.data[i] = grey ? colour::Pixel{sample(s), sample(s), sample(s)}
                         : colour::Pixel{sample(s), sample(s + 1), sample(s + 2)};
    }
  } else {
    colour::assert_equal(png->data.size(), n * channels);
    auto sample = [d](std::size_t k) { return static_cast<float>(d[k]) / 255.0f; };
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t s = i * channels;
      out.data[i] = grey ? colour::Pixel{sample(s), sample(s), sample(s)}
                         : colour::Pixel{sample(s), sample(s + 1), sample(s + 2)};
    }
  }
  return out;
}

GeneralResult read_general_jpeg(std::FILE* file) {
  auto jpeg = read_jpeg_image(file, JpegReadOptions{.max_image_bytes = kGeneralDecodeLimitBytes});
  if (!jpeg) return std::unexpected(std::move(jpeg.error()));
  const std::uint64_t n = std::uint64_t{jpeg->width} * jpeg->height;
  DecodedImage out{colour::PixelBuffer::zeroed(n), std::nullopt, jpeg->width, jpeg->height};
  auto to_float = [](std::uint8_t v) { return static_cast<float>(v) / 255.0f; };
  switch (jpeg->colour) {
    case JpegColour::Grey:
      colour::assert_equal(jpeg->pixels.size(), n);
      for (std::size_t i = 0; i < n; ++i) {
        float v = to_float(jpeg->pixels[i]);
        out.data[i] = {v, v, v};
      }
      break;
    case JpegColour::Rgb:
    case JpegColour::Cmyk: {
      // CMYK has no profile here: the same fixed formula as the front end's own fallback.
      Bytes rgb = jpeg->colour == JpegColour::Rgb ? std::move(jpeg->pixels)
                                                  : naive_cmyk_to_rgb(jpeg->pixels.span(), n);
      colour::assert_equal(rgb.size(), n * 3);
      float* f = colour::flat(out.data).data();
      for (std::size_t i = 0; i < n * 3; ++i) f[i] = to_float(rgb[i]);
      break;
    }
  }
  return out;
}

}  // namespace velquon
