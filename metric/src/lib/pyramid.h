#pragma once

#include <cstdint>

#include "colour/linear_rgb.h"
#include "colour/vec.h"
#include "metric/score.h"

namespace metric {

struct ScaleSize {
  std::uint64_t width;
  std::uint64_t height;
};

// The statistics of every scale of the pyramid (2 to 6) of two validated frames of the same
// size, at least 8 x 8. When `sizes` is given it receives the size of each scale processed.
Msssim collect_scale_stats(colour::LinearRgb source, colour::LinearRgb distorted,
                           colour::Vec<ScaleSize>* sizes = nullptr);

}  // namespace metric
