#include <hwy/tests/hwy_gtest.h>

#include <cstddef>
#include <vector>

#include "bits.h"
#include "colour/testing/simd_inputs.h"
#include "colour/xyb.h"

namespace colour {
namespace {

using testing::f32;
using testing::kSimdLengths;
using testing::same_bits_everywhere;
using testing::simd_inputs;
using testing::with_neighbours;

class XybSimd : public hwy::TestWithParamTarget {};
INSTANTIATE_TEST_SUITE_P(EveryTarget, XybSimd,
                         ::testing::ValuesIn(hwy::SupportedAndGeneratedTargets()),
                         hwy::TestParamTargetName);

TEST_P(XybSimd, FromGivesThePerPixelBitsAtEveryLength) {
  // Values whose mixes come out at zero, negative or subnormal, where the cube root's guess is
  // at its worst.
  const std::vector<float> interesting = with_neighbours({0.0f, f32(0x3B789536u), -0.0486f, 1.0f});
  for (const std::size_t pixels : kSimdLengths) {
    const std::vector<float> input = simd_inputs(
        3 * pixels, static_cast<std::uint32_t>(1000 + pixels), -0.1f, 1.5f, interesting);
    std::vector<float> want(input.size());
    for (std::size_t p = 0; p < pixels; ++p) {
      const Pixel out = xyb_pixel({input[3 * p], input[3 * p + 1], input[3 * p + 2]});
      for (int c = 0; c < 3; ++c) want[3 * p + c] = out[c];
    }

    auto data = PixelBuffer::zeroed(pixels);
    std::copy(input.begin(), input.end(), flat(data).begin());
    auto frame = LinearRgb::create(std::move(data), pixels, 1);
    ASSERT_TRUE(frame.has_value());
    const Xyb xyb = Xyb::from(std::move(*frame));
    ASSERT_EQ(xyb.data.size(), pixels);
    EXPECT_TRUE(same_bits_everywhere(input, flat(xyb.data).data(), want.data(), GetParam(), 3))
        << pixels << " pixels";
  }
}

}  // namespace
}  // namespace colour
