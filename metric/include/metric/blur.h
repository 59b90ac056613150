#pragma once

#include <cstdint>
#include <span>

#include "colour/vec.h"
#include "metric/plane.h"

namespace metric {

// The recursive Gaussian (sigma 1.5) applied separably: rows into `scratch`, then columns into
// a new plane. One Blur serves every plane of a metric call; the driver only ever shortens
// `scratch` and sets the size before each scale.
class Blur {
 public:
  colour::Vec<float> scratch;
  std::uint64_t width = 0;
  std::uint64_t height = 0;

  // Blurs X, then Y, then B; the input is left unchanged.
  PlaneTriple blur(const PlaneTriple& planes);
  // `plane` must hold exactly as many values as `scratch`, that is width x height.
  colour::Vec<float> blur_plane(std::span<const float> plane);
};

// Filters every whole row of `in` (rows of `width` values) into the same positions of `out`.
// Requires in.size() == out.size() and width >= 1.
void blur_rows(std::span<const float> in, std::span<float> out, std::uint64_t width);

// Filters every column of `in` (width x height values) into `out` (the same size).
void blur_columns(std::span<const float> in, std::span<float> out, std::uint64_t width,
                  std::uint64_t height);

}  // namespace metric
