#include "icc/general_formats.h"
#include "icc/icc_transform.h"
#include "icc/jpeg_reader.h"
#include "icc/png_reader.h"
#include "icc/sample_convert.h"

namespace velquon {

GeneralResult read_general_png(std::FILE* file) {
  auto png = read_png_image(file, PngReadOptions{.max_image_bytes = kGeneralDecodeLimitBytes});
  if (!png) return std::unexpected(std::move(png.error().message));
  const std::uint64_t n = std::uint64_t{png->width} * png->height;
  const std::size_t channels = static_cast<std::size_t>(png->channels);
  DecodedImage out{colour::PixelBuffer::zeroed(n), std::nullopt, png->width, png->height};
  if (png->bit_depth == 16) {
    colour::assert_equal(png->data.size(), n * channels * 2);
    be16_samples_to_rgb(png->data.span(), png->channels, colour::flat(out.data));
  } else {
    colour::assert_equal(png->data.size(), n * channels);
    u8_samples_to_rgb(png->data.span(), png->channels, colour::flat(out.data));
  }
  return out;
}

GeneralResult read_general_jpeg(std::FILE* file) {
  auto jpeg = read_jpeg_image(file, JpegReadOptions{.max_image_bytes = kGeneralDecodeLimitBytes});
  if (!jpeg) return std::unexpected(std::move(jpeg.error()));
  const std::uint64_t n = std::uint64_t{jpeg->width} * jpeg->height;
  DecodedImage out{colour::PixelBuffer::zeroed(n), std::nullopt, jpeg->width, jpeg->height};
  switch (jpeg->colour) {
    case JpegColour::Grey:
      colour::assert_equal(jpeg->pixels.size(), n);
      u8_samples_to_rgb(jpeg->pixels.span(), 1, colour::flat(out.data));
      break;
    case JpegColour::Rgb:
    case JpegColour::Cmyk: {
      // CMYK has no profile here: the same fixed formula as the front end's own fallback.
      Bytes rgb = jpeg->colour == JpegColour::Rgb ? std::move(jpeg->pixels)
                                                  : naive_cmyk_to_rgb(jpeg->pixels.span(), n);
      colour::assert_equal(rgb.size(), n * 3);
      u8_samples_to_rgb(rgb.span(), 3, colour::flat(out.data));
      break;
    }
  }
  return out;
}

}  // namespace velquon
