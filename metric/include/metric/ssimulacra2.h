#pragma once

#include <cstdint>
#include <expected>
#include <string_view>

#include "colour/rgb.h"

namespace metric {

enum class Ssimulacra2Error : std::uint8_t {
  LinearRgbConversionFailed = 0,
  NonMatchingImageDimensions = 1,
  InvalidImageSize = 2,
};

// Debug text: the case name.
std::string_view debug_string(Ssimulacra2Error error);

// The SSIMULACRA2 score of `distorted` against `source`. Both frames are consumed.
std::expected<double, Ssimulacra2Error> compute_frame_ssimulacra2(colour::Rgb source,
                                                                  colour::Rgb distorted);

}  // namespace metric
