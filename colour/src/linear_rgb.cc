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

std::expected<LinearConversion, ColorConversionError> LinearConversion::of(const Rgb& rgb) {
  // The curve is checked first: its error wins when both are unsupported.
  auto curve = LinearCurve::of(rgb.transfer);
  if (!curve) return std::unexpected(curve.error());
  auto primaries = primaries_matrix(rgb.primaries, ColorPrimaries::ItuBt709);
  if (!primaries) return std::unexpected(primaries.error());
  return LinearConversion(*curve, *primaries);
}

void LinearConversion::apply(std::span<Pixel> pixels) const {
  if (pixels.empty()) return;
  curve_.apply({pixels.data()->data(), 3 * pixels.size()});
  if (primaries_) transform_pixels(*primaries_, pixels);
}

std::expected<LinearRgb, ColorConversionError> LinearRgb::try_from(Rgb rgb) {
  auto conversion = LinearConversion::of(rgb);
  if (!conversion) return std::unexpected(conversion.error());
  conversion->apply(rgb.data.span());
  // Neither step changes the length, and an Rgb already holds width x height pixels.
  return LinearRgb(std::move(rgb.data), rgb.width, rgb.height);
}

}  // namespace colour
