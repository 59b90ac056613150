#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>

#include "colour/errors.h"
#include "colour/pixel_buffer.h"
#include "colour/rgb.h"
#include "colour/yuv_rgb/color.h"
#include "colour/yuv_rgb/transfer.h"

namespace colour {

// LinearRgb::try_from's conversion for a frame's transfer characteristic and primaries, both
// checked once: applied to parts of a buffer one after another, it gives the bits of
// converting the whole frame at once.
class LinearConversion {
 public:
  static std::expected<LinearConversion, ColorConversionError> of(const Rgb& rgb);
  void apply(std::span<Pixel> pixels) const;

 private:
  LinearConversion(LinearCurve curve, std::optional<Matrix3> primaries)
      : curve_(curve), primaries_(primaries) {}
  LinearCurve curve_;
  std::optional<Matrix3> primaries_;
};

// A frame of linear-light RGB in BT.709 primaries.
class LinearRgb {
 public:
  static std::expected<LinearRgb, CreationError> create(PixelBuffer data, std::uint64_t width,
                                                        std::uint64_t height);
  // Linearises by the frame's transfer characteristic, then converts its primaries to BT.709.
  static std::expected<LinearRgb, ColorConversionError> try_from(Rgb rgb);

  // The one way to copy a frame: exact-size allocation and one bulk copy.
  LinearRgb clone() const { return LinearRgb(data.clone(), width, height); }

  PixelBuffer data;
  std::uint64_t width;
  std::uint64_t height;

 private:
  LinearRgb(PixelBuffer d, std::uint64_t w, std::uint64_t h)
      : data(std::move(d)), width(w), height(h) {}
};

}  // namespace colour
