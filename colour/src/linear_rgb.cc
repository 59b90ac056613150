#include "colour/linear_rgb.h"

#include "colour/yuv_rgb/color.h"
#include "colour/yuv_rgb/transfer.h"

namespace colour {

std::expected<LinearRgb, CreationError> LinearRgb::create(PixelBuffer data, std::uint64_t width,
                                                          std::uint64_t height) {
  if (!holds_pixels(data.size(), width, height)) {
    return std::unexpected(CreationError::ResolutionMismatch);
  }
  return LinearRgb(std::move(data), width, height);
}

std::expected<LinearRgb, ColorConversionError> LinearRgb::try_from(Rgb rgb) {
  auto linear = to_linear(rgb.transfer, std::move(rgb.data));
  if (!linear) return std::unexpected(linear.error());
  auto converted = transform_primaries(std::move(*linear), rgb.primaries, ColorPrimaries::ItuBt709);
  if (!converted) return std::unexpected(converted.error());
  // Neither step changes the length, and an Rgb already holds width x height pixels.
  return LinearRgb(std::move(*converted), rgb.width, rgb.height);
}

}  // namespace colour
