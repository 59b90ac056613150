#include <hwy/tests/hwy_gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lib/kernels.h"
#include "lib/map_kernels.h"
#include "metric/blur.h"
#include "simd/kernels.h"
#include "simd_inputs.h"

namespace metric {
namespace {

using testing::Awkward;
using testing::bits;
using testing::simd_inputs;

class MapsSimd : public hwy::TestWithParamTarget {};
INSTANTIATE_TEST_SUITE_P(EveryTarget, MapsSimd,
                         ::testing::ValuesIn(hwy::SupportedAndGeneratedTargets()),
                         hwy::TestParamTargetName);

// A NaN term counts as 0.0, so the sums are never NaN and must match bit for bit.
void expect_same(const maps::SsimSums& got, const maps::SsimSums& want) {
  EXPECT_EQ(bits(got.error), bits(want.error));
  EXPECT_EQ(bits(got.error4), bits(want.error4));
}
void expect_same(const maps::EdgeSums& got, const maps::EdgeSums& want) {
  EXPECT_EQ(bits(got.artifact), bits(want.artifact));
  EXPECT_EQ(bits(got.artifact4), bits(want.artifact4));
  EXPECT_EQ(bits(got.detail_loss), bits(want.detail_loss));
  EXPECT_EQ(bits(got.detail_loss4), bits(want.detail_loss4));
}

// Rows of every width, three after another into the same sums.
TEST_P(MapsSimd, RowTermsAddUpInPixelOrder) {
  for (const std::size_t w : testing::kSimdWidths) {
    SCOPED_TRACE(::testing::Message() << hwy::TargetName(GetParam()) << ", width " << w);
    std::vector<colour::Vec<float>> in;
    for (std::uint64_t k = 0; k < 5; ++k) {
      in.push_back(simd_inputs(3 * w, 100 * w + k, -0.25f, 1.25f, Awkward::Often));
    }
    maps::SsimSums ssim_got, ssim_want;
    maps::EdgeSums edge_got, edge_want;
    for (std::size_t r = 0; r < 3; ++r) {
      const auto row = [&](std::size_t k) { return in[k].span().subspan(r * w, w); };
      simd::accumulate_ssim_row(row(0), row(1), row(2), row(3), row(4), ssim_got);
      maps::accumulate_ssim_row(row(0), row(1), row(2), row(3), row(4), ssim_want);
      simd::accumulate_edge_row(row(0), row(1), row(2), row(3), edge_got);
      maps::accumulate_edge_row(row(0), row(1), row(2), row(3), edge_want);
    }
    expect_same(ssim_got, ssim_want);
    expect_same(edge_got, edge_want);
  }
}

// The banded pipeline against the steps one after another with the scalar kernels: products,
// whole-plane blurs, then the maps row by row.
simd::PlaneSums reference_sums(std::span<const float> img1, std::span<const float> img2,
                               std::size_t w, std::size_t h) {
  const std::size_t n = w * h;
  auto scratch = colour::Vec<float>::zeroed(n);
  const auto blurred = [&](std::span<const float> a, std::span<const float> b) {
    auto product = colour::Vec<float>::zeroed(n);
    std::span<const float> in = a;
    if (!b.empty()) {
      multiply_plane(a, b, product.span());
      in = product.span();
    }
    auto out = colour::Vec<float>::zeroed(n);
    blur_rows(in, scratch.span(), w);
    blur_columns(scratch.span(), out.span(), w, h);
    return out;
  };
  const auto s11 = blurred(img1, img1), s22 = blurred(img2, img2), s12 = blurred(img1, img2);
  const auto mu1 = blurred(img1, {}), mu2 = blurred(img2, {});
  simd::PlaneSums sums;
  for (std::size_t r = 0; r < h; ++r) {
    const auto row = [&](std::span<const float> p) { return p.subspan(r * w, w); };
    maps::accumulate_ssim_row(row(mu1.span()), row(mu2.span()), row(s11.span()), row(s22.span()),
                              row(s12.span()), sums.ssim);
    maps::accumulate_edge_row(row(img1), row(mu1.span()), row(img2), row(mu2.span()), sums.edge);
  }
  return sums;
}

TEST_P(MapsSimd, BandedPlaneSumsEqualTheStepsOneAfterAnother) {
  simd::PlaneWork work(300);
  std::vector<std::pair<std::size_t, std::size_t>> sizes;
  for (std::size_t w : testing::kSimdWidths) {
    for (std::size_t h : testing::kSimdHeights) sizes.push_back({w, h});
  }
  for (std::size_t w : {8, 9, 17, 33, 161, 300}) {
    for (std::size_t h : {17, 19, 40, 73}) sizes.push_back({w, h});
  }
  for (const Awkward awkward : {Awkward::NoNanOrInfinity, Awkward::Rarely}) {
    for (const auto& [w, h] : sizes) {
      SCOPED_TRACE(::testing::Message() << hwy::TargetName(GetParam()) << ", " << w << " x " << h
                                        << ", awkward " << static_cast<int>(awkward));
      const auto img1 = simd_inputs(w * h, 7 * w + h, 0.0f, 1.0f, awkward);
      const auto img2 = simd_inputs(w * h, 11 * w + h, 0.0f, 1.0f, awkward);
      const simd::PlaneSums got = simd::plane_sums(img1.span(), img2.span(), w, h, w, work);
      const simd::PlaneSums want = reference_sums(img1.span(), img2.span(), w, h);
      expect_same(got.ssim, want.ssim);
      expect_same(got.edge, want.edge);
      // The same planes as every third row of a buffer, as the driver lays them out, with
      // NaNs between them that no sum may see.
      const std::size_t stride = 3 * w;
      std::vector<float> wide1((h - 1) * stride + w, NAN), wide2(wide1.size(), NAN);
      for (std::size_t r = 0; r < h; ++r) {
        std::copy_n(img1.data() + r * w, w, wide1.begin() + r * stride);
        std::copy_n(img2.data() + r * w, w, wide2.begin() + r * stride);
      }
      const simd::PlaneSums strided = simd::plane_sums(wide1, wide2, w, h, stride, work);
      expect_same(strided.ssim, want.ssim);
      expect_same(strided.edge, want.edge);
    }
  }
}

}  // namespace
}  // namespace metric
