#include "metric/maps.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "colour/invariant.h"
#include "lib/map_kernels.h"
#include "simd/kernels.h"

namespace metric {

namespace {

void require_width(std::uint64_t width) {
  if (width == 0) colour::fail_invariant("chunk size must be non-zero");
}

// Whole rows that every input holds in plane c; a trailing partial row is not visited.
std::size_t rows_held(std::uint64_t width, std::size_t c,
                      std::initializer_list<const PlaneTriple*> inputs) {
  std::size_t rows = SIZE_MAX;
  for (const PlaneTriple* t : inputs) rows = std::min<std::size_t>(rows, (*t)[c].size() / width);
  return rows;
}

// Multiplied by 1 / N rather than divided by N; the fourth root is two square roots.
double mean(double inv, double sum) { return inv * sum; }
double norm4(double inv, double sum4) { return std::sqrt(std::sqrt(inv * sum4)); }

double inverse_count(std::uint64_t width, std::uint64_t height) {
  return 1.0 / static_cast<double>(width * height);
}

}  // namespace

namespace maps {

std::array<double, 6> ssim_norms(const SsimSums (&sums)[3], std::uint64_t width,
                                 std::uint64_t height) {
  const double inv = inverse_count(width, height);
  std::array<double, 6> out{};
  for (std::size_t c = 0; c < 3; ++c) {
    out[2 * c] = mean(inv, sums[c].error);
    out[2 * c + 1] = norm4(inv, sums[c].error4);
  }
  return out;
}

std::array<double, 12> edge_norms(const EdgeSums (&sums)[3], std::uint64_t width,
                                  std::uint64_t height) {
  const double inv = inverse_count(width, height);
  std::array<double, 12> out{};
  for (std::size_t c = 0; c < 3; ++c) {
    out[4 * c] = mean(inv, sums[c].artifact);
    out[4 * c + 1] = norm4(inv, sums[c].artifact4);
    out[4 * c + 2] = mean(inv, sums[c].detail_loss);
    out[4 * c + 3] = norm4(inv, sums[c].detail_loss4);
  }
  return out;
}

}  // namespace maps

std::array<double, 6> ssim_map(std::uint64_t width, std::uint64_t height, const PlaneTriple& mu1,
                               const PlaneTriple& mu2, const PlaneTriple& s11,
                               const PlaneTriple& s22, const PlaneTriple& s12) {
  require_width(width);
  maps::SsimSums sums[3];
  for (std::size_t c = 0; c < 3; ++c) {
    const std::size_t rows = rows_held(width, c, {&mu1, &mu2, &s11, &s22, &s12});
    for (std::size_t r = 0; r < rows; ++r) {
      const auto row = [&](const PlaneTriple& t) { return t[c].span().subspan(r * width, width); };
      simd::accumulate_ssim_row(row(mu1), row(mu2), row(s11), row(s22), row(s12), sums[c]);
    }
  }
  return maps::ssim_norms(sums, width, height);
}

std::array<double, 12> edge_diff_map(std::uint64_t width, std::uint64_t height,
                                     const PlaneTriple& img1, const PlaneTriple& mu1,
                                     const PlaneTriple& img2, const PlaneTriple& mu2) {
  require_width(width);
  maps::EdgeSums sums[3];
  for (std::size_t c = 0; c < 3; ++c) {
    const std::size_t rows = rows_held(width, c, {&img1, &mu1, &img2, &mu2});
    for (std::size_t r = 0; r < rows; ++r) {
      const auto row = [&](const PlaneTriple& t) { return t[c].span().subspan(r * width, width); };
      simd::accumulate_edge_row(row(img1), row(mu1), row(img2), row(mu2), sums[c]);
    }
  }
  return maps::edge_norms(sums, width, height);
}

}  // namespace metric
