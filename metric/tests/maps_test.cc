#include "metric/maps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "colour/invariant.h"
#include "metric/blur.h"
#include "test_util.h"

namespace metric {
namespace {

using testing::bits;
using testing::random_plane;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

PlaneTriple random_triple(std::size_t n, std::uint64_t seed) {
  return PlaneTriple{{random_plane(n, seed), random_plane(n, seed + 1), random_plane(n, seed + 2)}};
}

PlaneTriple clone(const PlaneTriple& t) {
  return PlaneTriple{{t[0].clone(), t[1].clone(), t[2].clone()}};
}

PlaneTriple products(const PlaneTriple& a, const PlaneTriple& b) {
  PlaneTriple out = clone(a);
  for (std::size_t c = 0; c < 3; ++c) {
    for (std::size_t i = 0; i < out[c].size(); ++i) out[c][i] = a[c][i] * b[c][i];
  }
  return out;
}

// Realistic inputs of one scale: two images, their blur and the blurred products.
struct ScaleInputs {
  std::uint64_t width, height;
  PlaneTriple img1, img2, mu1, mu2, s11, s22, s12;

  static ScaleInputs make(std::uint64_t width, std::uint64_t height, std::uint64_t seed) {
    const std::size_t n = width * height;
    Blur blur{colour::Vec<float>::zeroed(n), width, height};
    PlaneTriple img1 = random_triple(n, seed);
    PlaneTriple img2 = random_triple(n, seed + 10);
    PlaneTriple mu1 = blur.blur(img1);
    PlaneTriple mu2 = blur.blur(img2);
    PlaneTriple s11 = blur.blur(products(img1, img1));
    PlaneTriple s22 = blur.blur(products(img2, img2));
    PlaneTriple s12 = blur.blur(products(img1, img2));
    return {width,          height,         std::move(img1), std::move(img2), std::move(mu1),
            std::move(mu2), std::move(s11), std::move(s22),  std::move(s12)};
  }

  std::array<double, 6> ssim() const { return ssim_map(width, height, mu1, mu2, s11, s22, s12); }
  std::array<double, 12> edge() const { return edge_diff_map(width, height, img1, mu1, img2, mu2); }
};

template <std::size_t N>
std::vector<std::uint64_t> all_bits(const std::array<double, N>& values) {
  std::vector<std::uint64_t> out;
  for (double v : values) out.push_back(bits(v));
  return out;
}

// Identical planes give ssim = 1 exactly (num_s equals den bit for bit) and a = b; where den is
// infinite the ratio is NaN and counts as zero.
TEST(Maps, IdenticalPlanesGiveEighteenZeros) {
  ScaleInputs in = ScaleInputs::make(11, 9, 1);
  in.img2 = clone(in.img1);
  in.mu2 = clone(in.mu1);
  in.s22 = clone(in.s11);
  in.s12 = clone(in.s11);
  for (std::size_t c = 0; c < 3; ++c) {
    for (PlaneTriple* t : {&in.s11, &in.s22, &in.s12}) (*t)[c][5] = kInf;
    for (PlaneTriple* t : {&in.img1, &in.img2}) (*t)[c][7] = kInf;
  }
  for (double v : in.ssim()) EXPECT_EQ(bits(v), 0u);
  for (double v : in.edge()) EXPECT_EQ(bits(v), 0u);
}

TEST(Maps, DistinctPlanesGiveFiniteNonZeroNorms) {
  const ScaleInputs in = ScaleInputs::make(11, 9, 1);
  for (double v : in.ssim()) EXPECT_TRUE(std::isfinite(v) && v > 0.0) << v;
  for (double v : in.edge()) EXPECT_TRUE(std::isfinite(v) && v > 0.0) << v;
}

// A NaN term adds 0.0 but still counts in N: the result equals that of a pixel whose terms are
// exactly zero (identical source and distorted values there).
TEST(Maps, NotANumberTermsAddZeroButCountInN) {
  ScaleInputs nan = ScaleInputs::make(10, 6, 3);
  ScaleInputs zero = ScaleInputs::make(10, 6, 3);
  const std::size_t i = 23;
  for (std::size_t c = 0; c < 3; ++c) {
    nan.mu1[c][i] = kNaN;
    nan.img2[c][i] = kNaN;
    zero.mu2[c][i] = zero.mu1[c][i];
    zero.s22[c][i] = zero.s11[c][i];
    zero.s12[c][i] = zero.s11[c][i];
  }
  EXPECT_EQ(all_bits(nan.ssim()), all_bits(zero.ssim()));
  // Same |p - m| on both sides gives d = 0 exactly.
  ScaleInputs edge_zero = ScaleInputs::make(10, 6, 3);
  for (std::size_t c = 0; c < 3; ++c) {
    edge_zero.img2[c][i] = edge_zero.img1[c][i];
    edge_zero.mu2[c][i] = edge_zero.mu1[c][i];
    nan.mu1[c][i] = edge_zero.mu1[c][i];
  }
  EXPECT_EQ(all_bits(nan.edge()), all_bits(edge_zero.edge()));
}

// Pixels are visited in row-major order with one sequential sum, so the row width does not
// change the sums: the same values as 13 x 5, 65 x 1 and 1 x 65 give the same bits (N is the
// same). 13 is not a multiple of a vector width, 1 has no full vector at all.
TEST(Maps, RowWidthDoesNotChangeTheSums) {
  const ScaleInputs in = ScaleInputs::make(13, 5, 5);
  for (auto [w, h] : {std::pair<std::uint64_t, std::uint64_t>{65, 1}, {1, 65}}) {
    SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
    EXPECT_EQ(all_bits(ssim_map(w, h, in.mu1, in.mu2, in.s11, in.s22, in.s12)),
              all_bits(in.ssim()));
    EXPECT_EQ(all_bits(edge_diff_map(w, h, in.img1, in.mu1, in.img2, in.mu2)), all_bits(in.edge()));
  }
}

// Rows visited are the whole rows that every input holds; N stays width x height.
TEST(Maps, OnlyRowsHeldByEveryInputAreVisited) {
  constexpr std::uint64_t kW = 12, kH = 7;
  const ScaleInputs in = ScaleInputs::make(kW, kH, 9);

  // A trailing partial row in one input is ignored.
  ScaleInputs longer = ScaleInputs::make(kW, kH, 9);
  for (std::size_t c = 0; c < 3; ++c) {
    for (int k = 0; k < 5; ++k) {
      longer.mu1[c].push_back(0.5f);
      longer.img2[c].push_back(0.5f);
    }
  }
  EXPECT_EQ(all_bits(longer.ssim()), all_bits(in.ssim()));
  EXPECT_EQ(all_bits(longer.edge()), all_bits(in.edge()));

  // One input a row and a bit short: its last row is not visited, which equals a last row
  // whose terms are all zero.
  ScaleInputs shorter = ScaleInputs::make(kW, kH, 9);
  ScaleInputs zero_row = ScaleInputs::make(kW, kH, 9);
  for (std::size_t c = 0; c < 3; ++c) {
    shorter.s12[c].truncate(kW * (kH - 1) + 3);
    shorter.img1[c].truncate(kW * (kH - 1) + 3);
    for (std::size_t i = kW * (kH - 1); i < kW * kH; ++i) {
      zero_row.mu2[c][i] = zero_row.mu1[c][i];
      zero_row.s22[c][i] = zero_row.s11[c][i];
      zero_row.s12[c][i] = zero_row.s11[c][i];
      zero_row.img2[c][i] = zero_row.img1[c][i];
    }
  }
  EXPECT_EQ(all_bits(shorter.ssim()), all_bits(zero_row.ssim()));
  EXPECT_EQ(all_bits(shorter.edge()), all_bits(zero_row.edge()));
}

// One pixel per plane, so each mean is the term itself: X carries an artifact, Y a detail
// loss, B an SSIM error; the outputs land at their documented positions.
TEST(Maps, OutputsAreOrderedByPlaneThenStatistic) {
  auto one = [](float x, float y, float b) {
    PlaneTriple t = PlaneTriple::zeroed(1);
    t[0][0] = x;
    t[1][0] = y;
    t[2][0] = b;
    return t;
  };
  const PlaneTriple img1 = one(1.0f, 2.0f, 0.0f), mu1 = one(0.5f, 0.5f, 0.0f);
  const PlaneTriple img2 = one(2.0f, 1.0f, 0.0f), mu2 = one(0.5f, 0.5f, 0.0f);
  const double artifact = 2.5 / 1.5 - 1.0;  // |2 - 0.5| + 1 over |1 - 0.5| + 1
  const double loss = -(1.5 / 2.5 - 1.0);
  const auto norm = [](double v) { return std::sqrt(std::sqrt((v * v) * (v * v))); };
  const std::array<double, 12> expected_edge = {artifact, norm(artifact), 0.0, 0.0, 0.0, 0.0,
                                                loss,     norm(loss),     0.0, 0.0, 0.0, 0.0};
  EXPECT_EQ(all_bits(edge_diff_map(1, 1, img1, mu1, img2, mu2)), all_bits(expected_edge));

  // Only B differs: mu 0.5 against 0.25, variances 0, covariance 0.
  const PlaneTriple m1 = one(0.5f, 0.5f, 0.5f), m2 = one(0.5f, 0.5f, 0.25f);
  const PlaneTriple s11 = one(0.25f, 0.25f, 0.25f), s22 = one(0.25f, 0.25f, 0.0625f);
  const PlaneTriple s12 = one(0.25f, 0.25f, 0.125f);
  const auto ssim = ssim_map(1, 1, m1, m2, s11, s22, s12);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(bits(ssim[i]), 0u) << i;
  // num_m = 1 - 0.0625 and num_s = den = C2.
  const float expected_ssim = (0.9375f * kSsimC2) / kSsimC2;
  const double e = 1.0 - static_cast<double>(expected_ssim);
  EXPECT_EQ(bits(ssim[4]), bits(e));
  EXPECT_EQ(bits(ssim[5]), bits(norm(e)));
}

TEST(Maps, ZeroHeightGivesNotANumberFromZeroSums) {
  const PlaneTriple e = PlaneTriple::zeroed(0);
  for (double v : ssim_map(4, 0, e, e, e, e, e)) EXPECT_TRUE(std::isnan(v));
  for (double v : edge_diff_map(4, 0, e, e, e, e)) EXPECT_TRUE(std::isnan(v));
}

TEST(Maps, ZeroWidthIsABrokenInvariant) {
  const ScaleInputs in = ScaleInputs::make(4, 4, 1);
  for (int which = 0; which < 2; ++which) {
    try {
      if (which == 0) ssim_map(0, 4, in.mu1, in.mu2, in.s11, in.s22, in.s12);
      if (which == 1) edge_diff_map(0, 4, in.img1, in.mu1, in.img2, in.mu2);
      ADD_FAILURE() << which << ": no invariant failure";
    } catch (const colour::InvariantError& e) {
      EXPECT_STREQ(e.what(), "chunk size must be non-zero");
    }
  }
}

}  // namespace
}  // namespace metric
