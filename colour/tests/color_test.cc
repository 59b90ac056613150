#include "colour/yuv_rgb/color.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "bits.h"
#include "colour/linear_rgb.h"
#include "colour/rgb.h"
#include "colour/yuv_rgb/transfer.h"

namespace colour {
namespace {

using testing::bits;
using testing::f32;
using CP = ColorPrimaries;

const CP kValidPrimaries[] = {CP::ItuBt709,    CP::ItuBt470M, CP::ItuBt470BG, CP::SmpteSt170M,
                              CP::SmpteSt240M, CP::Film,      CP::ItuBt2020,  CP::SmpteSt428,
                              CP::DciP3,       CP::DisplayP3, CP::EbuTech3213};
const CP kAllPrimaries[] = {CP::Identity,  CP::ItuBt709,   CP::Unspecified, CP::Reserved,
                            CP::ItuBt470M, CP::ItuBt470BG, CP::SmpteSt170M, CP::SmpteSt240M,
                            CP::Film,      CP::ItuBt2020,  CP::SmpteSt428,  CP::DciP3,
                            CP::DisplayP3, CP::EbuTech3213};

void expect_matrix_bits(const Matrix3& m, const std::uint32_t (&want)[3][3], const char* name) {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      EXPECT_EQ(bits(m[i][j]), want[i][j]) << name << " [" << i << "][" << j << "]";
    }
  }
}

constexpr std::uint32_t kIdentityBits[3][3] = {
    {0x3F800000u, 0u, 0u}, {0u, 0x3F800000u, 0u}, {0u, 0u, 0x3F800000u}};

TEST(GamutRgbToXyzMatrix, Bt709GivesTheExactMatrix) {
  auto m = gamut_rgb_to_xyz_matrix(CP::ItuBt709);
  ASSERT_TRUE(m.has_value());
  const std::uint32_t want[3][3] = {{0x3ED324E1u, 0x3EB7154Au, 0x3E38CFF5u},
                                    {0x3E59BE08u, 0x3F37154Au, 0x3D93D990u},
                                    {0x3C9E5BA9u, 0x3DF41C5Cu, 0x3F735613u}};
  expect_matrix_bits(*m, want, "BT.709");
}

TEST(GamutRgbToXyzMatrix, Smpte428IsTheIdentity) {
  auto m = gamut_rgb_to_xyz_matrix(CP::SmpteSt428);
  ASSERT_TRUE(m.has_value());
  expect_matrix_bits(*m, kIdentityBits, "SMPTE 428");
}

struct PrimariesError {
  const char* name;
  CP primaries;
  ColorConversionError expected;
};

TEST(GamutRgbToXyzMatrix, RejectsPrimariesWithoutChromaticities) {
  const PrimariesError cases[] = {
      {"Identity", CP::Identity, ColorConversionError::UnsupportedColorPrimaries},
      {"Reserved", CP::Reserved, ColorConversionError::UnsupportedColorPrimaries},
      {"Unspecified", CP::Unspecified, ColorConversionError::UnspecifiedColorPrimaries},
  };
  for (const auto& c : cases) {
    auto m = gamut_rgb_to_xyz_matrix(c.primaries);
    ASSERT_FALSE(m.has_value()) << c.name;
    EXPECT_EQ(m.error(), c.expected) << c.name;
  }
}

// Row Y of an RGB-to-XYZ matrix sums to the luminance of white, 1.
TEST(GamutRgbToXyzMatrix, WhiteHasUnitLuminanceForEveryGamut) {
  for (CP p : kValidPrimaries) {
    auto m = gamut_rgb_to_xyz_matrix(p);
    ASSERT_TRUE(m.has_value()) << to_string(p);
    EXPECT_NEAR((*m)[1][0] + (*m)[1][1] + (*m)[1][2], 1.0f, 1e-6f) << to_string(p);
  }
}

TEST(ChromaticAdaptation, OnlyDifferentWhitePointsAdapt) {
  struct Case {
    const char* name;
    CP in;
    bool identity;
  };
  const Case cases[] = {
      {"Display P3 shares D65", CP::DisplayP3, true},
      {"BT.2020 shares D65", CP::ItuBt2020, true},
      {"reserved codes count as D65", CP::Reserved, true},
      {"DCI P3", CP::DciP3, false},
      {"BT.470M under illuminant C", CP::ItuBt470M, false},
      {"SMPTE 428 under illuminant E", CP::SmpteSt428, false},
  };
  for (const auto& c : cases) {
    const Matrix3 a = chromatic_adaptation(c.in, CP::ItuBt709);
    bool is_identity = true;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) is_identity &= bits(a[i][j]) == kIdentityBits[i][j];
    }
    EXPECT_EQ(is_identity, c.identity) << c.name;
  }
}

PixelBuffer probe_pixels() {
  return PixelBuffer::from(std::vector<Pixel>{
      {0.25f, -0.5f, 2.0f}, {f32(0x7FC00000u), 1.0f, -0.0f}, {INFINITY, 0.0f, f32(1u)}});
}

TEST(TransformPrimaries, EqualPrimariesReturnTheBufferUntouched) {
  for (CP p : kAllPrimaries) {
    PixelBuffer buffer = probe_pixels();
    const Pixel* storage = buffer.data();
    auto result = transform_primaries(std::move(buffer), p, p);
    ASSERT_TRUE(result.has_value()) << to_string(p);
    EXPECT_EQ(result->data(), storage) << to_string(p);
    const PixelBuffer want = probe_pixels();
    EXPECT_EQ(std::memcmp(result->data(), want.data(), want.size() * sizeof(Pixel)), 0)
        << to_string(p);
  }
}

TEST(TransformPrimaries, ReportsTheOutputSideFirst) {
  struct Case {
    const char* name;
    CP in;
    CP out;
    ColorConversionError expected;
  };
  const Case cases[] = {
      {"both invalid: the output's error", CP::Reserved, CP::Unspecified,
       ColorConversionError::UnspecifiedColorPrimaries},
      {"both invalid, the other way round", CP::Unspecified, CP::Identity,
       ColorConversionError::UnsupportedColorPrimaries},
      {"invalid input", CP::Reserved, CP::ItuBt709,
       ColorConversionError::UnsupportedColorPrimaries},
      {"unspecified input", CP::Unspecified, CP::ItuBt709,
       ColorConversionError::UnspecifiedColorPrimaries},
      {"invalid output", CP::ItuBt709, CP::Identity,
       ColorConversionError::UnsupportedColorPrimaries},
      {"invalid input into XYZ primaries", CP::Identity, CP::SmpteSt428,
       ColorConversionError::UnsupportedColorPrimaries},
  };
  for (const auto& c : cases) {
    for (bool empty : {false, true}) {
      auto result = transform_primaries(empty ? PixelBuffer() : probe_pixels(), c.in, c.out);
      ASSERT_FALSE(result.has_value()) << c.name << (empty ? " (empty)" : "");
      EXPECT_EQ(result.error(), c.expected) << c.name << (empty ? " (empty)" : "");
    }
  }
}

TEST(TransformPrimaries, EmptyBufferWithValidPrimariesComesBackEmpty) {
  auto result = transform_primaries(PixelBuffer(), CP::DciP3, CP::ItuBt709);
  ASSERT_TRUE(result.has_value());
  EXPECT_TRUE(result->empty());
}

TEST(TransformPrimaries, WhiteStaysWhiteFromEveryGamutIntoBt709) {
  for (CP p : kValidPrimaries) {
    auto result = transform_primaries(PixelBuffer::from(std::vector<Pixel>{{1.0f, 1.0f, 1.0f}}), p,
                                      CP::ItuBt709);
    ASSERT_TRUE(result.has_value()) << to_string(p);
    for (float v : (*result)[0]) EXPECT_NEAR(v, 1.0f, 1e-6f) << to_string(p);
  }
}

// Bradford between DCI and D65 white; the bits follow from the order of the products.
TEST(TransformPrimaries, DciP3PixelIntoBt709) {
  auto result = transform_primaries(PixelBuffer::from(std::vector<Pixel>{{0.25f, 0.5f, 0.75f}}),
                                    CP::DciP3, CP::ItuBt709);
  ASSERT_TRUE(result.has_value());
  const std::uint32_t want[3] = {0x3E57059Bu, 0x3F02654Bu, 0x3F4756E0u};
  for (int c = 0; c < 3; ++c) EXPECT_EQ(bits((*result)[0][c]), want[c]) << c;
}

TEST(TransformPrimaries, RoundTripThroughAnotherGamutComesBack) {
  const Pixel original{0.2f, 0.5f, 0.8f};
  for (CP p : kValidPrimaries) {
    auto there =
        transform_primaries(PixelBuffer::from(std::vector<Pixel>{original}), CP::ItuBt709, p);
    ASSERT_TRUE(there.has_value()) << to_string(p);
    auto back = transform_primaries(std::move(*there), p, CP::ItuBt709);
    ASSERT_TRUE(back.has_value()) << to_string(p);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR((*back)[0][c], original[c], 2e-6f) << to_string(p);
  }
}

TEST(TransformPrimaries, EachPixelConvertsOnItsOwn) {
  auto converted = transform_primaries(probe_pixels(), CP::DciP3, CP::ItuBt709);
  ASSERT_TRUE(converted.has_value());
  const PixelBuffer input = probe_pixels();
  for (std::size_t i = 0; i < input.size(); ++i) {
    auto alone = transform_primaries(PixelBuffer::from(std::vector<Pixel>{input[i]}), CP::DciP3,
                                     CP::ItuBt709);
    ASSERT_TRUE(alone.has_value());
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(bits((*alone)[0][c]), bits((*converted)[i][c])) << i << "," << c;
    }
  }
}

TEST(LinearRgbTryFrom, LinearBt709ComesBackBitForBit) {
  auto rgb = Rgb::create(probe_pixels(), 3, 1, TransferCharacteristic::Linear, CP::ItuBt709);
  ASSERT_TRUE(rgb.has_value());
  auto linear = LinearRgb::try_from(std::move(*rgb));
  ASSERT_TRUE(linear.has_value());
  EXPECT_EQ(linear->width, 3u);
  EXPECT_EQ(linear->height, 1u);
  const PixelBuffer want = probe_pixels();
  ASSERT_EQ(linear->data.size(), want.size());
  EXPECT_EQ(std::memcmp(linear->data.data(), want.data(), want.size() * sizeof(Pixel)), 0);
}

TEST(LinearRgbTryFrom, AppliesTheCurveThenThePrimaries) {
  const Pixel input{0.5f, 0.25f, 0.75f};
  auto rgb = Rgb::create(PixelBuffer::from(std::vector<Pixel>{input}), 1, 1,
                         TransferCharacteristic::Srgb, CP::DisplayP3);
  ASSERT_TRUE(rgb.has_value());
  auto linear = LinearRgb::try_from(std::move(*rgb));
  ASSERT_TRUE(linear.has_value());

  const Pixel curved{srgb_to_linear(input[0]), srgb_to_linear(input[1]), srgb_to_linear(input[2])};
  auto want = transform_primaries(PixelBuffer::from(std::vector<Pixel>{curved}), CP::DisplayP3,
                                  CP::ItuBt709);
  ASSERT_TRUE(want.has_value());
  for (int c = 0; c < 3; ++c) EXPECT_EQ(bits(linear->data[0][c]), bits((*want)[0][c])) << c;
}

TEST(LinearRgbTryFrom, LinearisationFailsBeforeThePrimariesAreLookedAt) {
  struct Case {
    const char* name;
    TransferCharacteristic transfer;
    CP primaries;
    ColorConversionError expected;
  };
  const Case cases[] = {
      {"both invalid", TransferCharacteristic::Identity, CP::Reserved,
       ColorConversionError::UnsupportedTransferCharacteristic},
      {"only the curve invalid", TransferCharacteristic::SmpteSt428, CP::ItuBt709,
       ColorConversionError::UnsupportedTransferCharacteristic},
      {"only the primaries invalid", TransferCharacteristic::Srgb, CP::Identity,
       ColorConversionError::UnsupportedColorPrimaries},
  };
  for (const auto& c : cases) {
    auto rgb = Rgb::create(probe_pixels(), 1, 3, c.transfer, c.primaries);
    ASSERT_TRUE(rgb.has_value()) << c.name;
    auto linear = LinearRgb::try_from(std::move(*rgb));
    ASSERT_FALSE(linear.has_value()) << c.name;
    EXPECT_EQ(linear.error(), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace colour
