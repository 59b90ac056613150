#include <hwy/tests/hwy_gtest.h>

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "colour/testing/simd_inputs.h"
#include "main/composite.h"
#include "main/composite_pixel.h"

namespace velquon {
namespace {

using colour::Pixel;
using colour::PixelBuffer;
using colour::testing::kSimdLengths;
using colour::testing::nan_choice_is_open;
using colour::testing::simd_inputs;
using colour::testing::with_neighbours;

// Bit-for-bit, except where the two operands of a value can bring different NaNs together.
::testing::AssertionResult same_as_per_pixel(const PixelBuffer& data,
                                             const std::vector<float>& alpha, float background,
                                             const PixelBuffer& out, std::int64_t target) {
  for (std::size_t p = 0; p < data.size(); ++p) {
    const Pixel want = composite_pixel(data[p], alpha[p], background);
    for (std::size_t c = 0; c < 3; ++c) {
      const auto got = std::bit_cast<std::uint32_t>(out[p][c]);
      if (got == std::bit_cast<std::uint32_t>(want[c])) continue;
      const float operands[] = {data[p][c], alpha[p]};
      if (std::isnan(out[p][c]) && std::isnan(want[c]) &&
          nan_choice_is_open(operands, 2, std::span(&background, 1))) {
        continue;
      }
      return ::testing::AssertionFailure()
             << hwy::TargetName(target) << ": pixel " << p << " channel " << c << " got 0x"
             << std::hex << got << ", want 0x" << std::bit_cast<std::uint32_t>(want[c]);
    }
  }
  return ::testing::AssertionSuccess();
}

class CompositeSimd : public hwy::TestWithParamTarget {};
INSTANTIATE_TEST_SUITE_P(EveryTarget, CompositeSimd,
                         ::testing::ValuesIn(hwy::SupportedAndGeneratedTargets()),
                         hwy::TestParamTargetName);

TEST_P(CompositeSimd, GivesThePerPixelBitsAtEveryLength) {
  for (const float background : {DARK_BACKGROUND, LIGHT_BACKGROUND}) {
    for (const std::size_t n : kSimdLengths) {
      const auto seed = static_cast<std::uint32_t>(n);
      const std::vector<float> values = simd_inputs(3 * n, 100 + seed, -0.5f, 1.5f);
      // Alpha mostly in 0..1, with both ends and their neighbours among the awkward values.
      const std::vector<float> alpha =
          simd_inputs(n, 500 + seed, 0.0f, 1.0f, with_neighbours({0.0f, 1.0f}));
      PixelBuffer data = PixelBuffer::zeroed(n);
      for (std::size_t p = 0; p < n; ++p) {
        data[p] = {values[3 * p], values[3 * p + 1], values[3 * p + 2]};
      }
      const PixelBuffer out = composite_on_background(data, alpha, background);
      ASSERT_EQ(out.size(), n);
      EXPECT_TRUE(same_as_per_pixel(data, alpha, background, out, GetParam()))
          << n << " pixels on " << background;
    }
  }
}

}  // namespace
}  // namespace velquon
