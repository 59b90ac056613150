#include "icc/decode_jpeg.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "icc/decode_image.h"
#include "icc/icc_transform.h"
#include "icc/jpeg_reader.h"
#include "icc/os_error.h"
#include "icc/sample_convert.h"

namespace velquon {

Decoded<DecodedImage> decode_jpeg_file(std::FILE* file, bool apply_icc) {
  auto jpeg = read_jpeg_image(file, JpegReadOptions{.read_icc = apply_icc});
  if (!jpeg) return std::unexpected(DecodeError{"Failed to decode JPEG: " + jpeg.error()});
  const std::uint64_t pixel_count = std::uint64_t{jpeg->width} * jpeg->height;
  std::optional<ProfileBytes> profile;
  if (jpeg->icc_profile) profile = jpeg->icc_profile->span();

  Bytes rgb;
  switch (jpeg->colour) {
    case JpegColour::Grey: {
      rgb = Bytes::zeroed(colour::checked_byte_size(jpeg->pixels.size(), 3, 1));
      for (std::size_t i = 0; i < jpeg->pixels.size(); ++i) {
        std::uint8_t v = jpeg->pixels[i];
        rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = v;
      }
      jpeg->pixels = Bytes();
      rgb = apply_icc_transform_u8(std::move(rgb), profile);
      break;
    }
    case JpegColour::Rgb:
      rgb = apply_icc_transform_u8(std::move(jpeg->pixels), profile);
      break;
    case JpegColour::Cmyk:
      rgb = profile ? apply_icc_transform_cmyk(jpeg->pixels.span(), *profile, pixel_count)
                    : naive_cmyk_to_rgb(jpeg->pixels.span(), pixel_count);
      jpeg->pixels = Bytes();
      break;
  }

  DecodedImage out{colour::PixelBuffer::zeroed_to_fill(rgb.size() / 3), std::nullopt, jpeg->width,
                   jpeg->height};
  u8_samples_to_rgb(rgb.span(), 3, colour::flat(out.data));
  return out;
}

Decoded<DecodedImage> decode_jpeg(const std::filesystem::path& path, bool apply_icc) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) {
    return std::unexpected(DecodeError{"Failed to open JPEG file: " + os_error_text(errno)});
  }
  std::setvbuf(file.get(), nullptr, _IOFBF, 8192);
  return decode_jpeg_file(file.get(), apply_icc);
}

}  // namespace velquon
