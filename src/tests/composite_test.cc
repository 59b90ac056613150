#include "main/composite.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace velquon {
namespace {

using colour::Pixel;
using colour::PixelBuffer;

std::uint32_t bits(float value) { return std::bit_cast<std::uint32_t>(value); }

PixelBuffer pixels(std::initializer_list<Pixel> values) {
  PixelBuffer buffer;
  for (const Pixel& p : values) buffer.push_back(p);
  return buffer;
}

TEST(CompositeTest, BackgroundsHoldTheirBitPatterns) {
  EXPECT_EQ(bits(DARK_BACKGROUND), 0x3DCCCCCDu);
  EXPECT_EQ(bits(LIGHT_BACKGROUND), 0x3F666666u);
}

TEST(CompositeTest, OpaqueReproducesAndTransparentGivesTheBackground) {
  const PixelBuffer data = pixels({{0.1f, 0.7f, 0.333333343f},
                                   {1.0f, 0.0f, 0.5f},
                                   {2.5f, -0.25f, 0.0039215689f},
                                   {0.2f, 0.4f, 0.6f}});
  const std::vector<float> alpha = {1.0f, 1.0f, 0.0f, 0.0f};
  for (const float background : {DARK_BACKGROUND, LIGHT_BACKGROUND}) {
    const PixelBuffer out = composite_on_background(data, alpha, background);
    ASSERT_EQ(out.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
      for (std::size_t c = 0; c < 3; ++c) {
        const float expected = alpha[i] == 1.0f ? data[i][c] : background;
        EXPECT_EQ(bits(out[i][c]), bits(expected)) << "pixel " << i << " channel " << c;
      }
    }
  }
}

TEST(CompositeTest, PartialAlphaIsRoundedProductThenRoundedSum) {
  // Each product rounds before the sum; for these values a fused multiply-add, which keeps the
  // product exact, lands on other bits.
  const PixelBuffer data = pixels({{0.2f, 0.45f, 0.1f}});
  const float a = 0.7f;
  const std::vector<float> alpha = {a};
  const PixelBuffer out = composite_on_background(data, alpha, LIGHT_BACKGROUND);
  volatile float one_minus = 1.0f - a;
  volatile float t = one_minus * LIGHT_BACKGROUND;
  for (std::size_t c = 0; c < 3; ++c) {
    volatile float product = a * data[0][c];
    volatile float sum = t + product;
    EXPECT_EQ(bits(out[0][c]), bits(sum)) << "channel " << c;
  }
  EXPECT_NE(bits(out[0][0]), bits(std::fma(a, data[0][0], static_cast<float>(t))));
}

TEST(CompositeTest, LengthIsTheShorterOfPixelsAndAlpha) {
  const PixelBuffer data = pixels({{0.5f, 0.5f, 0.5f}, {0.25f, 0.25f, 0.25f}, {1, 1, 1}});
  const std::vector<float> short_alpha = {1.0f, 0.0f};
  const PixelBuffer shorter = composite_on_background(data, short_alpha, DARK_BACKGROUND);
  ASSERT_EQ(shorter.size(), 2u);
  EXPECT_EQ(bits(shorter[1][0]), bits(DARK_BACKGROUND));

  const std::vector<float> long_alpha = {1.0f, 1.0f, 1.0f, 0.0f, 0.0f};
  EXPECT_EQ(composite_on_background(data, long_alpha, DARK_BACKGROUND).size(), 3u);
  EXPECT_EQ(composite_on_background(PixelBuffer{}, long_alpha, DARK_BACKGROUND).size(), 0u);
}

TEST(CompositeTest, ValuesAreNotClamped) {
  const PixelBuffer data = pixels({{2.0f, -1.0f, 0.5f}});
  const std::vector<float> alpha = {1.5f};
  const PixelBuffer out = composite_on_background(data, alpha, DARK_BACKGROUND);
  const float t = (1.0f - 1.5f) * DARK_BACKGROUND;
  EXPECT_EQ(bits(out[0][0]), bits(t + 1.5f * 2.0f));
  EXPECT_EQ(bits(out[0][1]), bits(t + 1.5f * -1.0f));
  EXPECT_LT(out[0][1], 0.0f);
}

}  // namespace
}  // namespace velquon
