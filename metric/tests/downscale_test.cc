#include "metric/downscale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "colour/invariant.h"
#include "colour/linear_rgb.h"
#include "colour/xyb.h"
#include "test_util.h"

namespace metric {
namespace {

using testing::bits;

colour::LinearRgb frame(std::uint64_t width, std::uint64_t height, std::uint64_t seed) {
  testing::Lcg rng(seed);
  auto data = colour::PixelBuffer::zeroed(width * height);
  for (colour::Pixel& p : data) p = {rng.unit(), rng.unit(), rng.unit()};
  return *colour::LinearRgb::create(std::move(data), width, height);
}

TEST(DownscaleBy2, HalvesRoundingUp) {
  struct Case {
    std::uint64_t w, h, ow, oh;
  };
  const Case cases[] = {{8, 8, 4, 4},  {9, 9, 5, 5}, {9, 100, 5, 50}, {1, 1, 1, 1},
                        {16, 3, 8, 2}, {0, 5, 0, 3}, {5, 0, 3, 0},    {0, 0, 0, 0}};
  for (const Case& c : cases) {
    const auto out = downscale_by_2(frame(c.w, c.h, 1));
    SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
    EXPECT_EQ(out.width, c.ow);
    EXPECT_EQ(out.height, c.oh);
    EXPECT_EQ(out.data.size(), c.ow * c.oh);
  }
}

// Two values whose four-tap sum depends on the order of the additions.
constexpr float kA = 0x1.7a3808p-4f;
constexpr float kB = 0x1.4cad1p-15f;
constexpr float kAABB = 0x1.7a619cp-5f;  // ((((0 + a) + a) + b) + b) x 0.25
constexpr float kABAB = 0x1.7a619ep-5f;  // ((((0 + a) + b) + a) + b) x 0.25

// An odd last column is used twice per row: the taps are a, a (row y0), then b, b (row y1).
// An odd last row is used twice: the taps are a, b (left, right), then a, b again.
TEST(DownscaleBy2, ClampedTapsKeepTheirOrder) {
  struct Case {
    const char* name;
    std::uint64_t w, h;
    std::size_t a_index, b_index, out_index;
    float expected;
  };
  const Case cases[] = {
      {"odd width", 3, 2, 2, 5, 1, kAABB},
      {"odd height", 2, 3, 4, 5, 1, kABAB},
  };
  for (const Case& c : cases) {
    auto data = colour::PixelBuffer::zeroed(c.w * c.h);
    data[c.a_index] = {kA, 0.0f, 0.0f};
    data[c.b_index] = {kB, 0.0f, 0.0f};
    const auto out = downscale_by_2(*colour::LinearRgb::create(std::move(data), c.w, c.h));
    EXPECT_EQ(bits(out.data[c.out_index][0]), bits(c.expected)) << c.name;
    EXPECT_EQ(bits(out.data[c.out_index][1]), 0u) << c.name;
  }
}

TEST(DownscaleBy2, NegativeZeroTapsGivePositiveZero) {
  auto data = colour::PixelBuffer::zeroed(4);
  for (colour::Pixel& p : data) p = {-0.0f, -0.0f, -0.0f};
  const auto out = downscale_by_2(*colour::LinearRgb::create(std::move(data), 2, 2));
  for (float v : out.data[0]) EXPECT_EQ(bits(v), 0u);
}

TEST(DownscaleBy2, AveragesEachBoxAndLeavesTheInputUnchanged) {
  const auto in = frame(4, 2, 3);
  const auto before = in.clone();
  const auto out = downscale_by_2(in);
  ASSERT_EQ(out.data.size(), 2u);
  for (int c = 0; c < 3; ++c) {
    const float expected =
        ((((0.0f + in.data[2][c]) + in.data[3][c]) + in.data[6][c]) + in.data[7][c]) * 0.25f;
    EXPECT_EQ(bits(out.data[1][c]), bits(expected)) << c;
  }
  for (std::size_t i = 0; i < in.data.size(); ++i) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(bits(in.data[i][c]), bits(before.data[i][c]));
  }
}

TEST(DownscaleBy2, ShortInputBufferIsABrokenInvariant) {
  auto in = frame(4, 4, 5);
  in.data.truncate(10);
  EXPECT_THROW(downscale_by_2(in), colour::InvariantError);
}

class XybToPlanar : public ::testing::Test {
 protected:
  // 5 x 3 frame whose pixels all differ.
  colour::Xyb xyb = colour::Xyb::from(frame(5, 3, 7));
};

TEST_F(XybToPlanar, SplitsEveryPixelBitForBit) {
  const PlaneTriple planes = xyb_to_planar(xyb);
  for (std::size_t c = 0; c < 3; ++c) {
    ASSERT_EQ(planes[c].size(), 15u);
    for (std::size_t i = 0; i < 15; ++i) EXPECT_EQ(bits(planes[c][i]), bits(xyb.data[i][c]));
  }
}

TEST_F(XybToPlanar, ShortBufferLeavesATailOfZeros) {
  xyb.data.truncate(9);
  const PlaneTriple planes = xyb_to_planar(xyb);
  for (std::size_t c = 0; c < 3; ++c) {
    ASSERT_EQ(planes[c].size(), 15u);
    for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(bits(planes[c][i]), bits(xyb.data[i][c]));
    for (std::size_t i = 9; i < 15; ++i) EXPECT_EQ(bits(planes[c][i]), 0u);
  }
}

TEST_F(XybToPlanar, LongBufferIgnoresTheSurplus) {
  for (int i = 0; i < 4; ++i) xyb.data.push_back({9.0f, 9.0f, 9.0f});
  const PlaneTriple planes = xyb_to_planar(xyb);
  for (std::size_t c = 0; c < 3; ++c) {
    ASSERT_EQ(planes[c].size(), 15u);
    for (std::size_t i = 0; i < 15; ++i) EXPECT_EQ(bits(planes[c][i]), bits(xyb.data[i][c]));
  }
}

}  // namespace
}  // namespace metric
