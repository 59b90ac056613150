#include "main/composite.h"

#include <algorithm>

namespace velquon {

colour::PixelBuffer composite_on_background(const colour::PixelBuffer& data,
                                            std::span<const float> alpha, float background) {
  const std::size_t n = std::min(data.size(), alpha.size());
  colour::PixelBuffer out = colour::PixelBuffer::with_capacity(n);
  for (std::size_t i = 0; i < n; ++i) {
    const float a = alpha[i];
    // Shared by the three channels; the build never contracts these into fused operations, so
    // every value is a rounded product followed by a rounded sum.
    const float t = (1.0f - a) * background;
    const colour::Pixel& p = data[i];
    out.push_back({t + a * p[0], t + a * p[1], t + a * p[2]});
  }
  return out;
}

}  // namespace velquon
