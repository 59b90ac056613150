#include "colour/yuv_rgb/transfer.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "bits.h"

namespace colour {
namespace {

using testing::f32;
using testing::kAnyNan;
using testing::kNegQuietNan;
using testing::kNegZero;
using testing::kPosInf;
using testing::kPosZero;
using testing::kQuietNan;
using testing::same_bits;
using TC = TransferCharacteristic;

constexpr std::uint32_t kEpsilonBits = 0x34000000u;  // 2^-23
constexpr std::uint32_t kOneMinusUlp = 0x3F7FFFFFu;  // 0.99999994

struct ValueCase {
  const char* name;
  float input;
  std::uint32_t expected;
};

TEST(FastExp2, GivesTheApproximationsBitForBit) {
  const ValueCase cases[] = {
      {"zero", 0.0f, kOneMinusUlp},
      {"half", 0.5f, 0x3FB504F4u},
      {"one", 1.0f, 0x3FFFFFFFu},
      {"minus one", -1.0f, 0x3EFFFFFFu},
      {"smallest normal exponent", -126.0f, 0x00800000u},
      {"subnormal result", -126.4f, 0x0060FF9Cu},
      {"exponent wraps to zero", -126.5f, kPosZero},
      {"clamped from below", -1000.0f, kPosZero},
      {"minus infinity", -INFINITY, kPosZero},
      {"largest finite result", 128.0f, 0x7F7FFFFFu},
      {"just above 128", std::nextafter(128.0f, 200.0f), kPosInf},
      {"exponent wraps to infinity", 128.5f, kPosInf},
      {"clamped from above", 1000.0f, kPosInf},
      {"NaN", f32(kQuietNan), kAnyNan},
  };
  for (const auto& c : cases) EXPECT_TRUE(same_bits(fast_exp2(c.input), c.expected)) << c.name;
}

TEST(FastLog2, GivesTheApproximationsBitForBit) {
  const ValueCase cases[] = {
      {"two", 2.0f, 0x3F800000u},
      {"half", 0.5f, 0xBF800000u},
      {"three", 3.0f, 0x3FCAE038u},
      {"ten", 10.0f, 0x40549A6Eu},
      {"positive zero", 0.0f, 0xC2FE0000u},          // -127
      {"smallest subnormal", f32(1u), 0xC2FE0000u},  // exponent field 0 as for zero
      {"infinity", INFINITY, 0x43000000u},           // 128
      {"sign plays no part", -2.0f, 0x3F800000u},
  };
  for (const auto& c : cases) EXPECT_TRUE(same_bits(fast_log2(c.input), c.expected)) << c.name;

  const float nan_log = fast_log2(f32(kQuietNan));
  EXPECT_GT(nan_log, 128.0f);
  EXPECT_LT(nan_log, 129.0f);
}

TEST(FastLog2, PowersOfTwoGiveTheirExponentExactly) {
  for (int k = -126; k <= 127; ++k) {
    EXPECT_EQ(fast_log2(std::ldexp(1.0f, k)), static_cast<float>(k)) << "2^" << k;
  }
}

TEST(FastPow, OneToAnyFinitePowerIsJustBelowOne) {
  for (float p : {0.0f, 1.0f, 2.4f, -3.0f, 100.0f, 1e30f}) {
    EXPECT_TRUE(same_bits(fast_pow(1.0f, p), kOneMinusUlp)) << p;
  }
}

struct CurveCase {
  const char* name;
  TC transfer;
  float input;
  std::uint32_t expected;
};

// Each row goes through to_linear, so the choice of curve by code point is checked too.
const CurveCase kCurveCases[] = {
    {"sRGB one", TC::Srgb, 1.0f, kOneMinusUlp},
    {"sRGB half", TC::Srgb, 0.5f, 0x3E5B2E30u},
    {"sRGB linear segment", TC::Srgb, 0.039f, 0x3B45D34Du},
    {"sRGB just past the threshold", TC::Srgb, 0.04f, 0x3B4AE8C9u},
    {"sRGB above one", TC::Srgb, 2.0f, 0x409E855Au},
    {"sRGB negative", TC::Srgb, -0.5f, kPosZero},
    {"sRGB negative zero", TC::Srgb, -0.0f, kPosZero},
    {"sRGB NaN", TC::Srgb, f32(kQuietNan), kPosZero},

    {"BT.1886 half", TC::ItuBt1886, 0.5f, 0x3E41FF43u},
    {"BT.1886 two", TC::ItuBt1886, 2.0f, 0x40A8E44Du},
    {"BT.1886 below epsilon", TC::ItuBt1886, f32(0x33800000u), kPosZero},  // 2^-24
    {"BT.1886 epsilon", TC::ItuBt1886, f32(kEpsilonBits), 0x23DEDBDAu},
    {"BT.1886 NaN", TC::ItuBt1886, f32(kQuietNan), kPosInf},
    {"BT.1886 infinity", TC::ItuBt1886, INFINITY, kPosInf},
    {"BT.1886 negative zero", TC::ItuBt1886, -0.0f, kPosZero},
    {"SMPTE 170M half", TC::SmpteSt170M, 0.5f, 0x3E41FF43u},
    {"SMPTE 240M half", TC::SmpteSt240M, 0.5f, 0x3E41FF43u},
    {"BT.2020 10-bit half", TC::ItuBt2020Ten, 0.5f, 0x3E41FF43u},
    {"BT.2020 12-bit half", TC::ItuBt2020Twelve, 0.5f, 0x3E41FF43u},
    {"BT.470M half", TC::ItuBt470M, 0.5f, 0x3E5EDBE2u},
    {"BT.470BG half", TC::ItuBt470BG, 0.5f, 0x3E13088Cu},

    {"log 100 zero", TC::Logarithmic100, 0.0f, 0x3C23D70Au},
    {"log 100 negative", TC::Logarithmic100, -1.0f, 0x3C23D70Au},
    {"log 100 epsilon", TC::Logarithmic100, f32(kEpsilonBits), 0x3C23D70Au},
    {"log 100 half", TC::Logarithmic100, 0.5f, 0x3DCCCAFCu},
    {"log 100 one", TC::Logarithmic100, 1.0f, kOneMinusUlp},
    {"log 100 two", TC::Logarithmic100, 2.0f, 0x42C7FFD4u},
    {"log 100 NaN", TC::Logarithmic100, f32(kQuietNan), kAnyNan},
    {"log 316 zero", TC::Logarithmic316, 0.0f, 0x3B4F3E37u},
    {"log 316 half", TC::Logarithmic316, 0.5f, 0x3D66559Cu},

    {"xvYCC half", TC::Xvycc, 0.5f, 0x3E41FF43u},
    {"xvYCC minus half", TC::Xvycc, -0.5f, 0xBE84F9FFu},
    {"xvYCC one and a half", TC::Xvycc, 1.5f, 0x40133A50u},
    {"xvYCC minus one and a half", TC::Xvycc, -1.5f, 0xC0133A50u},
    {"xvYCC one", TC::Xvycc, 1.0f, kOneMinusUlp},
    {"xvYCC just above one", TC::Xvycc, f32(0x3F800001u), 0x3F800002u},
    {"xvYCC small positive", TC::Xvycc, 0.05f, 0x3A45B780u},
    {"xvYCC small negative", TC::Xvycc, -0.05f, 0xBC360B61u},
    {"xvYCC negative zero", TC::Xvycc, -0.0f, kNegZero},
    {"xvYCC NaN", TC::Xvycc, f32(kQuietNan), kPosZero},
    {"xvYCC negative NaN", TC::Xvycc, f32(kNegQuietNan), kNegZero},

    {"PQ one", TC::PerceptualQuantizer, 1.0f, 0x3F7FFBB6u},
    {"PQ half", TC::PerceptualQuantizer, 0.5f, 0x3C80A9DBu},
    {"PQ tenth", TC::PerceptualQuantizer, 0.1f, 0x39B49648u},
    {"PQ above one", TC::PerceptualQuantizer, 1.5f, 0x4347403Cu},
    {"PQ infinity", TC::PerceptualQuantizer, INFINITY, 0x779FD324u},
    {"PQ zero", TC::PerceptualQuantizer, 0.0f, kPosZero},
    {"PQ negative", TC::PerceptualQuantizer, -0.5f, kPosZero},
    {"PQ NaN", TC::PerceptualQuantizer, f32(kQuietNan), kPosZero},

    {"HLG half", TC::HybridLogGamma, 0.5f, 0x3DAAAAABu},
    {"HLG one", TC::HybridLogGamma, 1.0f, 0x3F800000u},
    {"HLG three quarters", TC::HybridLogGamma, 0.75f, 0x3E87A92Du},
    {"HLG below the knee, where floor is not truncation", TC::HybridLogGamma, 0.52f, 0x3DB91CDBu},
    {"HLG negative", TC::HybridLogGamma, -0.5f, kPosZero},
    {"HLG NaN", TC::HybridLogGamma, f32(kQuietNan), kPosZero},
    {"HLG infinity", TC::HybridLogGamma, INFINITY, kAnyNan},
};

TEST(ToLinear, EachCurveGivesItsBitPatterns) {
  for (const auto& c : kCurveCases) {
    auto result =
        to_linear(c.transfer, PixelBuffer::from(std::vector<Pixel>{{c.input, c.input, c.input}}));
    ASSERT_TRUE(result.has_value()) << c.name;
    ASSERT_EQ(result->size(), 1u) << c.name;
    for (float v : flat(*result)) EXPECT_TRUE(same_bits(v, c.expected)) << c.name;
  }
}

struct ErrorCase {
  const char* name;
  TC transfer;
  ColorConversionError expected;
};

TEST(ToLinear, ErrorCodePointsFailWhateverTheBuffer) {
  const ErrorCase cases[] = {
      {"Identity", TC::Identity, ColorConversionError::UnsupportedTransferCharacteristic},
      {"Unspecified", TC::Unspecified, ColorConversionError::UnspecifiedTransferCharacteristic},
      {"Reserved", TC::Reserved, ColorConversionError::UnsupportedTransferCharacteristic},
      {"BT.1361 extended", TC::ItuBt1361Extended,
       ColorConversionError::UnsupportedTransferCharacteristic},
      {"SMPTE 428", TC::SmpteSt428, ColorConversionError::UnsupportedTransferCharacteristic},
  };
  for (const auto& c : cases) {
    auto empty = to_linear(c.transfer, PixelBuffer());
    ASSERT_FALSE(empty.has_value()) << c.name;
    EXPECT_EQ(empty.error(), c.expected) << c.name;
    auto filled = to_linear(c.transfer, PixelBuffer::zeroed(4));
    ASSERT_FALSE(filled.has_value()) << c.name;
    EXPECT_EQ(filled.error(), c.expected) << c.name;
  }
}

TEST(ToLinear, SupportedCodePointsReturnAnEmptyBufferAsItCame) {
  for (int code = 0; code <= 18; ++code) {
    const TC transfer = static_cast<TC>(code);
    if (code == 0 || code == 2 || code == 3 || code == 12 || code == 17) continue;
    auto result = to_linear(transfer, PixelBuffer());
    ASSERT_TRUE(result.has_value()) << code;
    EXPECT_TRUE(result->empty()) << code;
  }
}

// Values that probe every branch: signed zeros, NaNs of both signs, infinities, subnormals,
// the thresholds and values above 1.
const std::uint32_t kProbeBits[] = {
    0x00000000u, 0x80000000u, 0x7FC00000u, 0xFFC00000u, 0x7FC12345u, 0x7F800000u, 0xFF800000u,
    0x00000001u, 0x007FFFFFu, 0x80000001u, 0x33800000u, 0x34000000u, 0x3C23D70Au, 0x3D20F216u,
    0x3D20F215u, 0x3DA662A8u, 0x3F000000u, 0x3F000001u, 0x3F800000u, 0x3F800001u, 0x3FC00000u,
    0x40000000u, 0x41200000u, 0x42C80000u, 0x7F7FFFFFu, 0xBF000000u, 0xC0000000u, 0xBD4CCCCDu,
    0x3E99999Au, 0x3F400000u, 0x3F7FFFFFu,
};

struct ScalarCase {
  const char* name;
  TC transfer;
  std::function<float(float)> scalar;
};

TEST(ToLinear, EveryValueFollowsItsScalarCurveWhereverItStands) {
  const auto power = [](float gamma) {
    return [gamma](float v) { return pure_power_to_linear(v, gamma); };
  };
  const ScalarCase cases[] = {
      {"BT.1886", TC::ItuBt1886, power(2.4f)},
      {"BT.470M", TC::ItuBt470M, power(2.2f)},
      {"BT.470BG", TC::ItuBt470BG, power(2.8f)},
      {"SMPTE 170M", TC::SmpteSt170M, power(2.4f)},
      {"SMPTE 240M", TC::SmpteSt240M, power(2.4f)},
      {"Linear", TC::Linear, [](float v) { return v; }},
      {"log 100", TC::Logarithmic100, log100_to_linear},
      {"log 316", TC::Logarithmic316, log316_to_linear},
      {"xvYCC", TC::Xvycc, xvycc_to_linear},
      {"sRGB", TC::Srgb, srgb_to_linear},
      {"BT.2020 10-bit", TC::ItuBt2020Ten, power(2.4f)},
      {"BT.2020 12-bit", TC::ItuBt2020Twelve, power(2.4f)},
      {"PQ", TC::PerceptualQuantizer, pq_to_linear},
      {"HLG", TC::HybridLogGamma, hlg_to_linear},
  };
  // Eleven pixels: 33 values, so a pass that takes four at a time leaves a remainder.
  std::vector<float> values;
  for (std::uint32_t b : kProbeBits) values.push_back(f32(b));
  values.resize(33, 0.75f);
  std::vector<Pixel> pixels(values.size() / 3);
  std::memcpy(pixels.data(), values.data(), pixels.size() * sizeof(Pixel));

  for (const auto& c : cases) {
    for (std::size_t shift = 0; shift < 3; ++shift) {
      // Rotating the values moves each one to another channel and pixel.
      std::vector<Pixel> rotated(pixels.size());
      std::vector<float> moved(values.size());
      for (std::size_t i = 0; i < values.size(); ++i) {
        moved[(i + shift * 4) % values.size()] = values[i];
      }
      std::memcpy(rotated.data(), moved.data(), rotated.size() * sizeof(Pixel));
      PixelBuffer buffer = PixelBuffer::from(rotated);
      const Pixel* storage = buffer.data();
      auto result = to_linear(c.transfer, std::move(buffer));
      ASSERT_TRUE(result.has_value()) << c.name;
      EXPECT_EQ(result->data(), storage) << c.name << ": converted in place";
      const auto out = flat(*result);
      ASSERT_EQ(out.size(), moved.size());
      for (std::size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(testing::bits(out[i]), testing::bits(c.scalar(moved[i])))
            << c.name << " at " << i << " input " << testing::hex(testing::bits(moved[i]));
      }
    }
  }
}

TEST(ToLinear, LinearReturnsEveryValueBitForBit) {
  std::vector<Pixel> pixels(10);
  std::memcpy(pixels.data(), kProbeBits, 30 * sizeof(float));
  auto result = to_linear(TC::Linear, PixelBuffer::from(pixels));
  ASSERT_TRUE(result.has_value());
  const auto out = flat(*result);
  for (std::size_t i = 0; i < 30; ++i) {
    EXPECT_EQ(testing::bits(out[i]), kProbeBits[i]) << i;
  }
}

}  // namespace
}  // namespace colour
