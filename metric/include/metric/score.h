#pragma once

#include <array>

#include "colour/vec.h"

namespace metric {

// The statistics of one scale, in the orders of ssim_map and edge_diff_map.
struct ScaleStats {
  std::array<double, 6> ssim_norms;
  std::array<double, 12> edge_norms;
};

// Per-scale statistics, full size first.
struct Msssim {
  colour::Vec<ScaleStats> scale_stats;

  // The weighted sum of every norm mapped to the score: 100 for a sum of zero, falling without
  // a lower bound. More than six records is a broken invariant.
  double score() const;
};

}  // namespace metric
