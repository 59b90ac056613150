#include <hwy/tests/hwy_gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "metric/blur.h"
#include "simd/kernels.h"
#include "simd_inputs.h"

namespace metric {
namespace {

using testing::any_nan_or_infinity;
using testing::Awkward;
using testing::same_plane;
using testing::simd_inputs;

struct Size {
  std::size_t width, height;
};

// Every width of the table at heights 1 to 9, and taller planes that take the band of rows
// round its ring several times, at widths around the vectors and tiles.
std::vector<Size> blur_sizes() {
  std::vector<Size> sizes;
  for (std::size_t w : testing::kSimdWidths) {
    for (std::size_t h : testing::kSimdHeights) sizes.push_back({w, h});
  }
  for (std::size_t w : {8, 9, 17, 33, 161}) {
    for (std::size_t h : {16, 17, 18, 19, 31, 40, 73}) sizes.push_back({w, h});
  }
  return sizes;
}

colour::Vec<float> reference_blur(std::span<const float> in, std::size_t width,
                                  std::size_t height) {
  auto scratch = colour::Vec<float>::zeroed(in.size());
  auto out = colour::Vec<float>::zeroed(in.size());
  blur_rows(in, scratch.span(), width);
  blur_columns(scratch.span(), out.span(), width, height);
  return out;
}

class BlurSimd : public hwy::TestWithParamTarget {};
INSTANTIATE_TEST_SUITE_P(EveryTarget, BlurSimd,
                         ::testing::ValuesIn(hwy::SupportedAndGeneratedTargets()),
                         hwy::TestParamTargetName);

TEST_P(BlurSimd, EveryPlaneGetsTheBitsOfTheRowAndColumnPasses) {
  for (const Awkward awkward : {Awkward::NoNanOrInfinity, Awkward::Rarely, Awkward::Often}) {
    for (const Size s : blur_sizes()) {
      const std::size_t n = s.width * s.height;
      const auto in = simd_inputs(n, n * 31 + s.width, -0.5f, 1.5f, awkward);
      const auto want = reference_blur(in.span(), s.width, s.height);
      auto out = colour::Vec<float>::zeroed(n);
      auto scratch = colour::Vec<float>::zeroed(n);
      simd::blur_plane(in.span(), out.span(), s.width, s.height, scratch.span());
      ASSERT_TRUE(same_plane(out.span(), want.span(), any_nan_or_infinity(in.span()), GetParam()))
          << s.width << " x " << s.height << ", awkward " << static_cast<int>(awkward);
    }
  }
}

TEST_P(BlurSimd, BlurPlaneOfTheBlurStateUsesTheSameBits) {
  const auto in = simd_inputs(300 * 23, 5, 0.0f, 1.0f, Awkward::NoNanOrInfinity);
  Blur blur{colour::Vec<float>::zeroed(300 * 23), 300, 23};
  const auto want = reference_blur(in.span(), 300, 23);
  EXPECT_TRUE(same_plane(blur.blur_plane(in.span()).span(), want.span(), false, GetParam()));
}

}  // namespace
}  // namespace metric
