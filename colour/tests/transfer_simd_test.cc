#include <hwy/tests/hwy_gtest.h>

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "bits.h"
#include "colour/testing/simd_inputs.h"
#include "colour/yuv_rgb/transfer.h"

namespace colour {
namespace {

using testing::f32;
using testing::kSimdLengths;
using testing::same_bits_everywhere;
using testing::simd_inputs;
using testing::with_neighbours;
using TC = TransferCharacteristic;

struct CurveCase {
  const char* name;
  TC characteristic;
  float (*reference)(float);
  float lo;
  float hi;
};

const CurveCase kCurves[] = {
    {"sRGB", TC::Srgb, srgb_to_linear, -0.25f, 1.25f},
    {"power 2.4", TC::ItuBt1886, [](float v) { return pure_power_to_linear(v, f32(0x4019999Au)); },
     -0.25f, 1.25f},
    {"power 2.2", TC::ItuBt470M, [](float v) { return pure_power_to_linear(v, f32(0x400CCCCDu)); },
     -0.25f, 1.25f},
    {"power 2.8", TC::ItuBt470BG, [](float v) { return pure_power_to_linear(v, f32(0x40333333u)); },
     -0.25f, 1.25f},
    {"log 100:1", TC::Logarithmic100, log100_to_linear, -0.25f, 1.25f},
    {"log 316:1", TC::Logarithmic316, log316_to_linear, -0.25f, 1.25f},
    {"xvYCC", TC::Xvycc, xvycc_to_linear, -1.5f, 1.5f},
    {"PQ", TC::PerceptualQuantizer, pq_to_linear, -0.25f, 1.25f},
    {"HLG", TC::HybridLogGamma, hlg_to_linear, -0.25f, 1.25f},
};

// Where a curve switches between its branches, for all of them; the neighbours land on both
// sides of each test.
const std::vector<float> kThresholds = with_neighbours({
    f32(0x34000000u),  // 2^-23, below which several curves give a constant
    f32(0x3D20F216u),  // end of the sRGB linear segment
    f32(0x3DA662A8u),  // end of the BT.709 inverse linear segment
    0.5f,              // HLG knee
    1.0f,              // end of the xvYCC power part
    -1.0f,
    f32(0x3F0F564Fu),  // HLG offset
    1.0e-6f,
});

class TransferSimd : public hwy::TestWithParamTarget {};
INSTANTIATE_TEST_SUITE_P(EveryTarget, TransferSimd,
                         ::testing::ValuesIn(hwy::SupportedAndGeneratedTargets()),
                         hwy::TestParamTargetName);

TEST_P(TransferSimd, EveryCurveGivesItsPerValueBitsAtEveryLength) {
  for (const CurveCase& curve : kCurves) {
    for (const std::size_t pixels : kSimdLengths) {
      const std::vector<float> input = simd_inputs(3 * pixels, static_cast<std::uint32_t>(pixels),
                                                   curve.lo, curve.hi, kThresholds);
      std::vector<float> want(input.size());
      for (std::size_t i = 0; i < input.size(); ++i) want[i] = curve.reference(input[i]);

      auto data = PixelBuffer::zeroed(pixels);
      std::copy(input.begin(), input.end(), flat(data).begin());
      auto out = to_linear(curve.characteristic, std::move(data));
      ASSERT_TRUE(out.has_value()) << curve.name;
      ASSERT_EQ(out->size(), pixels);
      EXPECT_TRUE(same_bits_everywhere(input, flat(*out).data(), want.data(), GetParam()))
          << curve.name << ", " << pixels << " pixels";
    }
  }
}

// Long buffers of decoded samples (k / 255, and k / 65535 of which some are the same floats),
// with now and then a value that is none of them: a neighbour of a sample, -0, a NaN, a value
// out of range. Whole vectors of samples take another road than the rest; both give the
// curve's bits.
TEST_P(TransferSimd, SrgbOfDecodedSamplesAtEveryLength) {
  std::mt19937 rng(7);
  for (const std::size_t pixels : {1365u, 1366u, 1367u, 2001u, 5462u}) {
    std::vector<float> input(3 * pixels);
    for (float& v : input) {
      const std::uint32_t r = static_cast<std::uint32_t>(rng());
      switch (r % 64) {
        case 0:
          v = std::nextafter(static_cast<float>(r >> 8 & 255) / 255.0f, 2.0f);
          break;
        case 1:
          v = -0.0f;
          break;
        case 2:
          v = std::bit_cast<float>(0x7FC00000u | (r >> 10));
          break;
        case 3:
          v = 1.0f + static_cast<float>(r >> 8 & 255) / 255.0f;
          break;
        case 4:
        case 5:
          v = static_cast<float>(r >> 8 & 0xFFFF) / 65535.0f;
          break;
        default:
          v = static_cast<float>(r >> 8 & 255) / 255.0f;
      }
    }
    // A run of plain samples, so that whole vectors of them occur on every target.
    for (std::size_t i = 0; i < 64; ++i) input[i] = static_cast<float>(i * 4) / 255.0f;
    std::vector<float> want(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) want[i] = srgb_to_linear(input[i]);

    auto data = PixelBuffer::zeroed(pixels);
    std::copy(input.begin(), input.end(), flat(data).begin());
    auto out = to_linear(TC::Srgb, std::move(data));
    ASSERT_TRUE(out.has_value());
    EXPECT_TRUE(same_bits_everywhere(input, flat(*out).data(), want.data(), GetParam()))
        << pixels << " pixels";
  }
}

}  // namespace
}  // namespace colour
