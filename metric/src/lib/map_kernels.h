#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "metric/maps.h"

// Per-pixel terms of the two maps, one row at a time. The sums run one pixel after another in
// row order: a faster version may compute the terms of several pixels at once but must add
// them to the sums in this same order, never in per-lane partial sums.
namespace metric::maps {

struct SsimSums {
  double error = 0.0;
  double error4 = 0.0;
};

struct EdgeSums {
  double artifact = 0.0;
  double artifact4 = 0.0;
  double detail_loss = 0.0;
  double detail_loss4 = 0.0;
};

// The norms of three planes' sums over width x height pixels, in the orders of ssim_map and
// edge_diff_map.
std::array<double, 6> ssim_norms(const SsimSums (&sums)[3], std::uint64_t width,
                                 std::uint64_t height);
std::array<double, 12> edge_norms(const EdgeSums (&sums)[3], std::uint64_t width,
                                  std::uint64_t height);

// IEEE 754 maxNum against 0.0: a NaN term counts as 0.0.
inline double max_num_zero(double v) { return std::fmax(v, 0.0); }

inline double fourth_power(double v) { return (v * v) * (v * v); }

inline double ssim_error(float m1, float m2, float m11, float m22, float m12) {
  const float d = m1 - m2;
  const float num_m = std::fma(-d, d, 1.0f);
  const float num_s = std::fma(2.0f, m12 - m1 * m2, kSsimC2);
  const float den = ((m11 - m1 * m1) + (m22 - m2 * m2)) + kSsimC2;
  const float ssim = (num_m * num_s) / den;
  return max_num_zero(1.0 - static_cast<double>(ssim));
}

// The relative change of the distance from the local mean, distorted over source, minus one.
inline double edge_ratio(float p1, float m1, float p2, float m2) {
  const float a = std::fabs(p2 - m2);
  const float b = std::fabs(p1 - m1);
  return (static_cast<double>(a) + 1.0) / (static_cast<double>(b) + 1.0) - 1.0;
}

// All spans hold the same number of values: one row.
inline void accumulate_ssim_row(std::span<const float> mu1, std::span<const float> mu2,
                                std::span<const float> s11, std::span<const float> s22,
                                std::span<const float> s12, SsimSums& sums) {
  for (std::size_t i = 0; i < mu1.size(); ++i) {
    const double e = ssim_error(mu1[i], mu2[i], s11[i], s22[i], s12[i]);
    sums.error += e;
    sums.error4 += fourth_power(e);
  }
}

inline void accumulate_edge_row(std::span<const float> img1, std::span<const float> mu1,
                                std::span<const float> img2, std::span<const float> mu2,
                                EdgeSums& sums) {
  for (std::size_t i = 0; i < img1.size(); ++i) {
    const double d = edge_ratio(img1[i], mu1[i], img2[i], mu2[i]);
    const double artifact = max_num_zero(d);
    const double detail_loss = max_num_zero(-d);
    sums.artifact += artifact;
    sums.artifact4 += fourth_power(artifact);
    sums.detail_loss += detail_loss;
    sums.detail_loss4 += fourth_power(detail_loss);
  }
}

}  // namespace metric::maps
