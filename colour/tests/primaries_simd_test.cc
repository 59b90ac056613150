#include <hwy/tests/hwy_gtest.h>

#include <cstddef>
#include <vector>

#include "colour/testing/simd_inputs.h"
#include "colour/yuv_rgb/color.h"

namespace colour {
namespace {

using testing::kSimdLengths;
using testing::same_bits_everywhere;
using testing::simd_inputs;

Matrix3 matrix_of(const std::vector<float>& v) {
  return {{{v[0], v[1], v[2]}, {v[3], v[4], v[5]}, {v[6], v[7], v[8]}}};
}

struct MatrixCase {
  const char* name;
  Matrix3 m;
};

std::vector<MatrixCase> matrix_cases() {
  return {
      {"BT.709 to XYZ", *gamut_rgb_to_xyz_matrix(ColorPrimaries::ItuBt709)},
      {"Bradford, DCI to D65",
       chromatic_adaptation(ColorPrimaries::DciP3, ColorPrimaries::ItuBt709)},
      // Seeds chosen for what their entries hold.
      {"subnormal entries", matrix_of(simd_inputs(9, 3, -2.0f, 2.0f))},
      {"a NaN and a huge entry", matrix_of(simd_inputs(9, 7, -2.0f, 2.0f))},
      {"infinities and -0", matrix_of(simd_inputs(9, 11, -2.0f, 2.0f))},
  };
}

class PrimariesSimd : public hwy::TestWithParamTarget {};
INSTANTIATE_TEST_SUITE_P(EveryTarget, PrimariesSimd,
                         ::testing::ValuesIn(hwy::SupportedAndGeneratedTargets()),
                         hwy::TestParamTargetName);

TEST_P(PrimariesSimd, TransformPixelsGivesThePerPixelBitsAtEveryLength) {
  for (const MatrixCase& c : matrix_cases()) {
    for (const std::size_t pixels : kSimdLengths) {
      const std::vector<float> input =
          simd_inputs(3 * pixels, static_cast<std::uint32_t>(2000 + pixels), -0.5f, 1.5f);
      std::vector<Pixel> data(pixels);
      std::vector<float> want(input.size());
      for (std::size_t p = 0; p < pixels; ++p) {
        data[p] = {input[3 * p], input[3 * p + 1], input[3 * p + 2]};
        const Pixel out = transform_pixel(c.m, data[p]);
        for (int k = 0; k < 3; ++k) want[3 * p + k] = out[k];
      }
      transform_pixels(c.m, data);
      EXPECT_TRUE(same_bits_everywhere(input, data[0].data(), want.data(), GetParam(), 3,
                                       std::span<const float>(&c.m[0][0], 9)))
          << c.name << ", " << pixels << " pixels";
    }
  }
}

}  // namespace
}  // namespace colour
