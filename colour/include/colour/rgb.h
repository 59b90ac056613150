#pragma once

#include <cstdint>
#include <expected>

#include "colour/errors.h"
#include "colour/pixel.h"
#include "colour/pixel_buffer.h"

namespace colour {

// A frame of RGB values as encoded by its transfer characteristic, in its colour primaries.
// Built only by create, so data holds width x height pixels and neither metadata field is
// Unspecified.
class Rgb {
 public:
  // Fails with ResolutionMismatch (releasing the buffer) when the length is not
  // width x height. Unspecified metadata is replaced by sRGB / BT.709 with a warning record.
  static std::expected<Rgb, CreationError> create(PixelBuffer data, std::uint64_t width,
                                                  std::uint64_t height,
                                                  TransferCharacteristic transfer,
                                                  ColorPrimaries primaries);

  PixelBuffer data;
  std::uint64_t width;
  std::uint64_t height;
  TransferCharacteristic transfer;
  ColorPrimaries primaries;

 private:
  Rgb(PixelBuffer d, std::uint64_t w, std::uint64_t h, TransferCharacteristic t, ColorPrimaries p)
      : data(std::move(d)), width(w), height(h), transfer(t), primaries(p) {}
};

// Whether `length` pixels are exactly width x height; a product past 64 bits never is, since no
// buffer could hold it.
bool holds_pixels(std::uint64_t length, std::uint64_t width, std::uint64_t height);

}  // namespace colour
