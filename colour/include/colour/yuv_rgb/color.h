#pragma once

#include <array>
#include <expected>
#include <optional>
#include <span>

#include "colour/errors.h"
#include "colour/pixel.h"
#include "colour/pixel_buffer.h"

namespace colour {

// 3 x 3 row-major; row i times the pixel as a column vector gives output value i.
using Matrix3 = std::array<std::array<float, 3>, 3>;

std::expected<Matrix3, ColorConversionError> gamut_rgb_to_xyz_matrix(ColorPrimaries primaries);

// Converts linear RGB in place from primaries `in` to `out` (Bradford adaptation between
// different white points). On error the buffer is released.
std::expected<PixelBuffer, ColorConversionError> transform_primaries(PixelBuffer data,
                                                                     ColorPrimaries in,
                                                                     ColorPrimaries out);

// transform_primaries' matrix, with its errors; none when the primaries are equal.
std::expected<std::optional<Matrix3>, ColorConversionError> primaries_matrix(ColorPrimaries in,
                                                                             ColorPrimaries out);

// The XYZ-to-XYZ adaptation from the white point of `in` to that of `out`: the identity when
// the two white points are equal, otherwise Bradford. Defined for every code point.
Matrix3 chromatic_adaptation(ColorPrimaries in, ColorPrimaries out);

// One pixel through a matrix, each row as m0*r + (m1*g + m2*b); the reference for any
// vectorised form of the conversion loop.
Pixel transform_pixel(const Matrix3& m, const Pixel& p);

// Every pixel through transform_pixel, in place, with vector instructions where the CPU has
// them; the bits are those of transform_pixel on every CPU.
void transform_pixels(const Matrix3& m, std::span<Pixel> pixels);

}  // namespace colour
