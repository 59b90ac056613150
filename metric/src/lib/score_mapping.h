#pragma once

#include "metric/score.h"

namespace metric {

// The two halves of Msssim::score: the weighted sum of every norm, one fused step per term in
// plane, record, term order; and the cubic and the power that map that sum to the score.
double weighted_sum(const Msssim& msssim);
double map_to_score(double acc);

}  // namespace metric
