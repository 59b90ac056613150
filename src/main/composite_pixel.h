#pragma once

#include "colour/pixel_buffer.h"

namespace velquon {

// The per-pixel reference of composite_on_background. The build never contracts these into
// fused operations, so every value is a rounded product followed by a rounded sum; t is shared
// by the three channels.
inline colour::Pixel composite_pixel(const colour::Pixel& p, float a, float background) {
  const float t = (1.0f - a) * background;
  return {t + a * p[0], t + a * p[1], t + a * p[2]};
}

}  // namespace velquon
