#include "colour/xyb.h"

#include <cmath>
#include <vector>

#include "bits.h"

namespace colour {
namespace {

using testing::bits;
using testing::f32;
using testing::kAnyNan;
using testing::same_bits;

TEST(FastCbrt, GivesTheApproximationsBitForBit) {
  struct Case {
    const char* name;
    float input;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {"zero is not corrected to zero", 0.0f, 0x295119F2u},
      {"negative values count as zero", -1.0f, 0x295119F2u},
      {"one", 1.0f, 0x3F800000u},
      {"eight", 8.0f, 0x40000000u},
      {"a thousandth", 0.001f, 0x3DCCCCCDu},  // 0.1
      {"the bias, whose root is stored negated", f32(0x3B789536u), 0x3E1FB275u},
      {"infinity", INFINITY, kAnyNan},
      {"NaN", f32(0x7FC00000u), kAnyNan},
  };
  for (const auto& c : cases) EXPECT_TRUE(same_bits(fast_cbrt(c.input), c.expected)) << c.name;
}

TEST(FastCbrt, NormalInputsAreWithinOneUlpOfTheCubeRoot) {
  for (float v : {1e-30f, 2e-5f, 0.3f, 0.7f, 3.0f, 27.0f, 1234.5f, 3e20f}) {
    const float want = static_cast<float>(std::cbrt(static_cast<double>(v)));
    const auto distance = static_cast<std::int64_t>(bits(fast_cbrt(v))) - bits(want);
    EXPECT_LE(std::llabs(distance), 1) << v;
  }
}

struct PixelCase {
  const char* name;
  Pixel rgb;
  std::uint32_t x, y, b;
};

const PixelCase kPixelCases[] = {
    {"black", {0.0f, 0.0f, 0.0f}, 0u, 0u, 0u},
    {"white", {1.0f, 1.0f, 1.0f}, 0u, 0x3F586625u, 0x3F586625u},
    {"negative mixes count as zero", {-1.0f, -1.0f, -1.0f}, 0u, 0xBE1FB275u, 0xBE1FB275u},
    {"red", {1.0f, 0.0f, 0.0f}, 0x3CE63220u, 0x3EF9F3CEu, 0x3EF17D4Au},
    {"green", {0.0f, 1.0f, 0.0f}, 0xBC7C1620u, 0x3F36FBEAu, 0x3EDFC888u},
    // Chosen so that another nesting of the mixes, or an unfused one, changes the bits.
    {"mixed", {0.29f, 0.95f, 0.65f}, 0xBC181CC0u, 0x3F41359Bu, 0x3F334135u},
};

TEST(XybPixel, GivesTheBitPatterns) {
  for (const auto& c : kPixelCases) {
    const Pixel out = xyb_pixel(c.rgb);
    EXPECT_EQ(bits(out[0]), c.x) << c.name << " X";
    EXPECT_EQ(bits(out[1]), c.y) << c.name << " Y";
    EXPECT_EQ(bits(out[2]), c.b) << c.name << " B";
  }
  // L and M weigh blue alike, so pure blue has no X at all.
  EXPECT_EQ(bits(xyb_pixel({0.0f, 0.0f, 1.0f})[0]), 0u);
}

TEST(XybFrom, RewritesTheFrameInPlacePixelByPixel) {
  std::vector<Pixel> pixels;
  for (const auto& c : kPixelCases) pixels.push_back(c.rgb);
  pixels.push_back({0.25f, f32(0x7FC00000u), 2.0f});
  auto frame = LinearRgb::create(PixelBuffer::from(pixels), pixels.size(), 1);
  ASSERT_TRUE(frame.has_value());
  const Pixel* storage = frame->data.data();

  const Xyb xyb = Xyb::from(std::move(*frame));
  EXPECT_EQ(xyb.data.data(), storage);
  EXPECT_EQ(xyb.width, pixels.size());
  EXPECT_EQ(xyb.height, 1u);
  ASSERT_EQ(xyb.data.size(), pixels.size());
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const Pixel want = xyb_pixel(pixels[i]);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(bits(xyb.data[i][c]), bits(want[c])) << i << "," << c;
  }
}

TEST(XybFrom, EmptyFrameKeepsItsSize) {
  auto frame = LinearRgb::create(PixelBuffer(), 0, 9);
  ASSERT_TRUE(frame.has_value());
  const Xyb xyb = Xyb::from(std::move(*frame));
  EXPECT_TRUE(xyb.data.empty());
  EXPECT_EQ(xyb.width, 0u);
  EXPECT_EQ(xyb.height, 9u);
}

}  // namespace
}  // namespace colour
