#pragma once

#include <span>

#include "metric/plane.h"

// Element-wise steps of the driver, scalar reference versions.
namespace metric {

// Rewrites interleaved X, Y, B triples in place so that every value is positive:
// B <- (B - Y) + 0.55 (two roundings), X <- fma(X, 14, 0.42), Y <- Y + 0.01.
void shift_xyb_positive(std::span<float> xyb);

// out[i] = a[i] * b[i] below the shortest of the three lengths.
void multiply_plane(std::span<const float> a, std::span<const float> b, std::span<float> out);

// multiply_plane on X, Y and B.
void multiply_planes(const PlaneTriple& a, const PlaneTriple& b, PlaneTriple& out);

}  // namespace metric
