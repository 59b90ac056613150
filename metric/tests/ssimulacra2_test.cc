#include "metric/ssimulacra2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "colour/linear_rgb.h"
#include "colour/pixel.h"
#include "colour/rgb.h"
#include "lib/kernels.h"
#include "lib/pyramid.h"
#include "lib/score_mapping.h"
#include "test_util.h"

namespace metric {
namespace {

using colour::ColorPrimaries;
using colour::TransferCharacteristic;
using testing::bits;

colour::Rgb rgb(colour::PixelBuffer data, std::uint64_t width, std::uint64_t height,
                TransferCharacteristic transfer = TransferCharacteristic::Srgb) {
  return *colour::Rgb::create(std::move(data), width, height, transfer, ColorPrimaries::ItuBt709);
}

// Smooth gradients (one channel quadratic) with a fine integer-hash texture on top. Only exact
// integer steps and single float operations, so the frame is the same on every platform.
colour::PixelBuffer textured_gradient(std::uint64_t width, std::uint64_t height) {
  auto data = colour::PixelBuffer::zeroed(width * height);
  for (std::uint64_t y = 0; y < height; ++y) {
    for (std::uint64_t x = 0; x < width; ++x) {
      const float texture = static_cast<float>((x * 7 + y * 13) % 16) / 100.0f;
      const float gx = static_cast<float>(x) / static_cast<float>(width);
      const float gy = static_cast<float>(y) / static_cast<float>(height);
      data[y * width + x] = {std::min(gx * gx + texture, 1.0f),
                             std::min(gy * 0.8f + texture * 0.5f, 1.0f),
                             std::min((1.0f - gx) * (1.0f - gy) + texture, 1.0f)};
    }
  }
  return data;
}

// The same with noise from a fixed generator (slightly brightening on average, so that the
// local means differ too), then a 3 x 3 box blur clamped at the edges, and a clamp to [0, 1].
colour::PixelBuffer noisy_blurred(const colour::PixelBuffer& in, std::uint64_t width,
                                  std::uint64_t height) {
  testing::Lcg rng(2024);
  auto noisy = in.clone();
  for (colour::Pixel& p : noisy) {
    for (float& v : p) v = v + (rng.unit() - 0.3f) * 0.2f;
  }
  auto out = colour::PixelBuffer::zeroed(width * height);
  for (std::uint64_t y = 0; y < height; ++y) {
    for (std::uint64_t x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        float sum = 0.0f;
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            const auto sx = std::clamp<std::int64_t>(x + dx, 0, width - 1);
            const auto sy = std::clamp<std::int64_t>(y + dy, 0, height - 1);
            sum = sum + noisy[sy * width + sx][c];
          }
        }
        out[y * width + x][c] = std::clamp(sum / 9.0f, 0.0f, 1.0f);
      }
    }
  }
  return out;
}

colour::LinearRgb linear(colour::PixelBuffer data, std::uint64_t width, std::uint64_t height) {
  return *colour::LinearRgb::try_from(rgb(std::move(data), width, height));
}

TEST(ShiftXybPositive, BlackBecomesTheOffsets) {
  float pixel[3] = {0.0f, 0.0f, 0.0f};
  shift_xyb_positive(pixel);
  EXPECT_EQ(bits(pixel[0]), 0x3ED70A3Du);  // 0.41999998688697815
  EXPECT_EQ(bits(pixel[1]), 0x3C23D70Au);  // 0.009999999776482582
  EXPECT_EQ(bits(pixel[2]), 0x3F0CCCCDu);  // 0.550000011920929
}

TEST(ShiftXybPositive, XIsFusedAndBIsTwoRoundedStepsOnTheUnshiftedY) {
  const float x = 0.1f, y = 0.1f, b = 0.9f;
  // Premises: these values tell the fused X step and the grouping of the B step apart.
  ASSERT_NE(bits(std::fma(x, 14.0f, 0.42f)), bits(x * 14.0f + 0.42f));
  ASSERT_NE(bits((b - y) + 0.55f), bits(b - (y - 0.55f)));
  ASSERT_NE(bits((b - y) + 0.55f), bits((b + 0.55f) - y));
  float pixels[6] = {x, y, b, 0.0f, 0.3f, 0.2f};
  shift_xyb_positive(pixels);
  EXPECT_EQ(bits(pixels[0]), bits(std::fma(x, 14.0f, 0.42f)));
  EXPECT_EQ(bits(pixels[1]), bits(y + 0.01f));
  EXPECT_EQ(bits(pixels[2]), bits((b - y) + 0.55f));
  EXPECT_EQ(bits(pixels[5]), bits((0.2f - 0.3f) + 0.55f));
}

TEST(ComputeFrameSsimulacra2, ErrorsComeInOrder) {
  using E = Ssimulacra2Error;
  constexpr auto kSrgb = TransferCharacteristic::Srgb;
  constexpr auto kBad = TransferCharacteristic::Reserved;
  struct Case {
    const char* name;
    std::uint64_t sw, sh;
    TransferCharacteristic st;
    std::uint64_t dw, dh;
    TransferCharacteristic dt;
    E expected;
  };
  const Case cases[] = {
      {"width below 8", 7, 100, kSrgb, 7, 100, kSrgb, E::InvalidImageSize},
      {"height below 8", 100, 7, kSrgb, 100, 7, kSrgb, E::InvalidImageSize},
      {"heights differ", 8, 8, kSrgb, 8, 9, kSrgb, E::NonMatchingImageDimensions},
      {"widths differ", 9, 8, kSrgb, 8, 8, kSrgb, E::NonMatchingImageDimensions},
      {"mismatch before small size", 7, 7, kSrgb, 8, 8, kSrgb, E::NonMatchingImageDimensions},
      {"source conversion before mismatch", 7, 7, kBad, 8, 8, kSrgb, E::LinearRgbConversionFailed},
      {"distorted conversion before mismatch", 8, 8, kSrgb, 9, 9, kBad,
       E::LinearRgbConversionFailed},
      {"conversion before small size", 4, 4, kSrgb, 4, 4, kBad, E::LinearRgbConversionFailed},
  };
  for (const Case& c : cases) {
    auto result = compute_frame_ssimulacra2(rgb(textured_gradient(c.sw, c.sh), c.sw, c.sh, c.st),
                                            rgb(textured_gradient(c.dw, c.dh), c.dw, c.dh, c.dt));
    ASSERT_FALSE(result.has_value()) << c.name;
    EXPECT_EQ(debug_string(result.error()), debug_string(c.expected)) << c.name;
  }
}

TEST(Ssimulacra2Error, DebugTextIsTheCaseName) {
  EXPECT_EQ(debug_string(Ssimulacra2Error::LinearRgbConversionFailed), "LinearRgbConversionFailed");
  EXPECT_EQ(debug_string(Ssimulacra2Error::NonMatchingImageDimensions),
            "NonMatchingImageDimensions");
  EXPECT_EQ(debug_string(Ssimulacra2Error::InvalidImageSize), "InvalidImageSize");
}

// Scale j is ceil(size / 2^j); a scale is processed after one of at least 8 x 8, at most six.
TEST(CollectScaleStats, ScaleCountAndLastSize) {
  struct Case {
    std::uint64_t w, h;
    std::size_t count;
    std::uint64_t last_w, last_h;
  };
  const Case cases[] = {
      {8, 8, 2, 4, 4},     {9, 100, 2, 5, 50},      {100, 9, 2, 50, 5}, {15, 15, 3, 4, 4},
      {16, 16, 3, 4, 4},   {17, 17, 3, 5, 5},       {64, 64, 5, 4, 4},  {128, 128, 6, 4, 4},
      {256, 256, 6, 8, 8}, {1920, 1080, 6, 60, 34},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
    colour::Vec<ScaleSize> sizes;
    const Msssim m = collect_scale_stats(linear(textured_gradient(c.w, c.h), c.w, c.h),
                                         linear(textured_gradient(c.w, c.h), c.w, c.h), &sizes);
    EXPECT_EQ(m.scale_stats.size(), c.count);
    ASSERT_EQ(sizes.size(), c.count);
    for (std::size_t j = 0; j < c.count; ++j) {
      EXPECT_EQ(sizes[j].width, (c.w + (1u << j) - 1) >> j) << j;
      EXPECT_EQ(sizes[j].height, (c.h + (1u << j) - 1) >> j) << j;
    }
    EXPECT_EQ(sizes[c.count - 1].width, c.last_w);
    EXPECT_EQ(sizes[c.count - 1].height, c.last_h);
  }
}

TEST(ComputeFrameSsimulacra2, IdenticalFramesScoreExactlyOneHundred) {
  for (auto [w, h] : {std::pair<std::uint64_t, std::uint64_t>{8, 8}, {64, 48}, {33, 130}}) {
    auto result = compute_frame_ssimulacra2(rgb(textured_gradient(w, h), w, h),
                                            rgb(textured_gradient(w, h), w, h));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(bits(*result), bits(100.0)) << w << " x " << h;
  }
}

// The exact result of a fixed 64 x 48 pair. Any change of operation order anywhere in the
// pipeline moves these bits; the weighted sum does not depend on the platform's pow.
TEST(ComputeFrameSsimulacra2, GoldenScoreOfASyntheticPair) {
  constexpr std::uint64_t kW = 64, kH = 48;
  const colour::PixelBuffer source = textured_gradient(kW, kH);
  const colour::PixelBuffer distorted = noisy_blurred(source, kW, kH);

  const Msssim m =
      collect_scale_stats(linear(source.clone(), kW, kH), linear(distorted.clone(), kW, kH));
  ASSERT_EQ(m.scale_stats.size(), 4u);
  EXPECT_EQ(bits(weighted_sum(m)), 0x4030CF6413DE9A6Cull) << weighted_sum(m);  // 16.81012081322335

  auto score =
      compute_frame_ssimulacra2(rgb(source.clone(), kW, kH), rgb(distorted.clone(), kW, kH));
  ASSERT_TRUE(score.has_value());
  EXPECT_EQ(bits(*score), 0x40270186A6027548ull) << *score;  // 11.502980411338868
}

// The driver linearises the first scale band by band; every transfer curve and primaries
// conversion must give the score of converting the whole frames first. The 8-bit pairs take
// the sRGB table's road, the others the curve's.
TEST(ComputeFrameSsimulacra2, BandByBandConversionEqualsWholeFrames) {
  struct Colour {
    TransferCharacteristic transfer;
    ColorPrimaries primaries;
  };
  const Colour colours[] = {
      {TransferCharacteristic::Srgb, ColorPrimaries::ItuBt709},
      {TransferCharacteristic::ItuBt1886, ColorPrimaries::ItuBt2020},
      {TransferCharacteristic::PerceptualQuantizer, ColorPrimaries::DisplayP3},
      {TransferCharacteristic::Linear, ColorPrimaries::ItuBt709},
  };
  const auto as_8_bit = [](colour::PixelBuffer data) {
    for (colour::Pixel& p : data) {
      for (float& v : p) v = std::nearbyint(v * 255.0f) / 255.0f;
    }
    return data;
  };
  for (const auto& [w, h] : {std::pair<std::uint64_t, std::uint64_t>{64, 48}, {130, 37}, {9, 70}}) {
    for (const bool eight_bit : {false, true}) {
      colour::PixelBuffer source = textured_gradient(w, h);
      colour::PixelBuffer distorted = noisy_blurred(source, w, h);
      if (eight_bit) {
        source = as_8_bit(std::move(source));
        distorted = as_8_bit(std::move(distorted));
      }
      for (const Colour& c : colours) {
        const auto frame = [&](const colour::PixelBuffer& data) {
          return *colour::Rgb::create(data.clone(), w, h, c.transfer, c.primaries);
        };
        const Msssim whole = collect_scale_stats(*colour::LinearRgb::try_from(frame(source)),
                                                 *colour::LinearRgb::try_from(frame(distorted)));
        const auto banded = compute_frame_ssimulacra2(frame(source), frame(distorted));
        ASSERT_TRUE(banded.has_value());
        EXPECT_EQ(bits(*banded), bits(whole.score()))
            << w << " x " << h << (eight_bit ? ", 8-bit" : "") << ", transfer "
            << static_cast<int>(c.transfer) << ", primaries " << static_cast<int>(c.primaries);
      }
    }
  }
}

// Wider pairs whose widths are no multiple of any vector, pinned to the results of the
// one-value-at-a-time code: every scale, tail and band boundary of the fast paths meets them.
TEST(CollectScaleStats, GoldenWeightedSumsOfWiderPairs) {
  struct Case {
    std::uint64_t w, h;
    std::size_t scales;
    std::uint64_t sum_bits;
  };
  const Case cases[] = {
      {300, 217, 6, 0x402FE0CC42C67C4Eull},  // 15.939058386544414
      {161, 97, 5, 0x401CEF8B5F6A38ACull},   // 7.233930102213133
  };
  for (const Case& c : cases) {
    const colour::PixelBuffer source = textured_gradient(c.w, c.h);
    const colour::PixelBuffer distorted = noisy_blurred(source, c.w, c.h);
    const Msssim m =
        collect_scale_stats(linear(source.clone(), c.w, c.h), linear(distorted.clone(), c.w, c.h));
    ASSERT_EQ(m.scale_stats.size(), c.scales) << c.w << " x " << c.h;
    EXPECT_EQ(bits(weighted_sum(m)), c.sum_bits) << c.w << " x " << c.h;
  }
}

}  // namespace
}  // namespace metric
