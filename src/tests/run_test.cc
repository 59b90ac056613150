#include "main/run.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "colour/rgb.h"
#include "fixtures.h"
#include "main/composite.h"
#include "metric/ssimulacra2.h"

namespace velquon {
namespace {

std::uint64_t bits(double value) { return std::bit_cast<std::uint64_t>(value); }

// A decoded image as the 8-bit decoders deliver it, from the shared gradient fixture.
DecodedImage gradient(std::uint32_t width, std::uint32_t height, std::uint32_t seed) {
  const test::Bytes rgb = test::gradient_rgb8(width, height, 3, seed);
  DecodedImage image;
  image.width = width;
  image.height = height;
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
    image.data.push_back({rgb[i] / 255.0f, rgb[i + 1] / 255.0f, rgb[i + 2] / 255.0f});
  }
  return image;
}

colour::Vec<float> alpha_of(std::size_t n, float (*value)(std::size_t)) {
  colour::Vec<float> alpha;
  for (std::size_t i = 0; i < n; ++i) alpha.push_back(value(i));
  return alpha;
}

DecodedImage copy(const DecodedImage& image) {
  DecodedImage out{image.data.clone(), std::nullopt, image.width, image.height};
  if (image.alpha) out.alpha = image.alpha->clone();
  return out;
}

double metric_score(const colour::PixelBuffer& source, const colour::PixelBuffer& distorted,
                    std::uint64_t width, std::uint64_t height) {
  auto s = colour::Rgb::create(source.clone(), width, height, colour::TransferCharacteristic::Srgb,
                               colour::ColorPrimaries::ItuBt709);
  auto d =
      colour::Rgb::create(distorted.clone(), width, height, colour::TransferCharacteristic::Srgb,
                          colour::ColorPrimaries::ItuBt709);
  return metric::compute_frame_ssimulacra2(std::move(*s), std::move(*d)).value();
}

TEST(ScoreDecodedTest, IdenticalImagesScoreExactlyHundred) {
  const DecodedImage image = gradient(16, 12, 1);
  const auto score = score_decoded(copy(image), copy(image));
  ASSERT_TRUE(score.has_value()) << score.error();
  EXPECT_EQ(bits(*score), bits(100.0));
}

TEST(ScoreDecodedTest, OpaqueAlphaTakesTheAlphaPathWithTheSameScore) {
  const DecodedImage source = gradient(20, 17, 1);
  const DecodedImage distorted = gradient(20, 17, 2);
  const auto plain = score_decoded(copy(source), copy(distorted));
  ASSERT_TRUE(plain.has_value()) << plain.error();
  EXPECT_LT(*plain, 100.0);

  DecodedImage source_alpha = copy(source);
  DecodedImage distorted_alpha = copy(distorted);
  source_alpha.alpha = alpha_of(source.data.size(), [](std::size_t) { return 1.0f; });
  distorted_alpha.alpha = alpha_of(distorted.data.size(), [](std::size_t) { return 1.0f; });
  const auto both = score_decoded(std::move(source_alpha), std::move(distorted_alpha));
  ASSERT_TRUE(both.has_value()) << both.error();
  EXPECT_EQ(bits(*both), bits(*plain));
}

TEST(ScoreDecodedTest, OnlyDistortedAlphaKeepsTheLowerOfBothBackgrounds) {
  const DecodedImage source = gradient(24, 16, 3);
  DecodedImage distorted = copy(source);
  distorted.alpha =
      alpha_of(source.data.size(), [](std::size_t i) { return static_cast<float>(i % 7) / 6.0f; });

  const auto score = score_decoded(copy(source), copy(distorted));
  ASSERT_TRUE(score.has_value()) << score.error();

  // The source keeps its values in both passes; the distorted image changes with the grey.
  double expected[2];
  int k = 0;
  for (const float background : {DARK_BACKGROUND, LIGHT_BACKGROUND}) {
    const auto composite =
        composite_on_background(distorted.data, distorted.alpha->span(), background);
    expected[k++] = metric_score(source.data, composite, 24, 16);
  }
  EXPECT_NE(bits(expected[0]), bits(expected[1]));
  EXPECT_EQ(bits(*score), bits(std::fmin(expected[0], expected[1])));
}

TEST(ScoreDecodedTest, PixelsTransparentInBothAgreeWhateverTheirColour) {
  DecodedImage source = gradient(16, 16, 4);
  DecodedImage distorted = copy(source);
  // Wildly different colours, but only where both images are fully transparent.
  for (std::size_t i = 0; i < distorted.data.size(); i += 3) distorted.data[i] = {1.0f, 0.0f, 1.0f};
  auto transparent_thirds = [](std::size_t i) { return i % 3 == 0 ? 0.0f : 1.0f; };
  source.alpha = alpha_of(source.data.size(), transparent_thirds);
  distorted.alpha = alpha_of(distorted.data.size(), transparent_thirds);
  const auto score = score_decoded(std::move(source), std::move(distorted));
  ASSERT_TRUE(score.has_value()) << score.error();
  EXPECT_EQ(bits(*score), bits(100.0));
}

struct FailureCase {
  const char* name;
  std::uint64_t source_width, source_height, distorted_width, distorted_height;
  bool alpha;
  std::string message;
};

const FailureCase kFailures[] = {
    {"different_sizes", 16, 16, 17, 16, false,
     "Failed to calculate ssimulacra2: NonMatchingImageDimensions"},
    {"different_sizes_with_alpha", 16, 16, 16, 15, true,
     "Failed to calculate ssimulacra2: NonMatchingImageDimensions"},
    {"seven_by_seven", 7, 7, 7, 7, false, "Failed to calculate ssimulacra2: InvalidImageSize"},
    {"seven_by_seven_with_alpha", 7, 7, 7, 7, true,
     "Failed to calculate ssimulacra2: InvalidImageSize"},
    {"narrow", 7, 20, 7, 20, false, "Failed to calculate ssimulacra2: InvalidImageSize"},
};

class ScoreFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(ScoreFailureTest, ReportsTheMetricError) {
  const FailureCase& c = GetParam();
  DecodedImage source = gradient(c.source_width, c.source_height, 5);
  DecodedImage distorted = gradient(c.distorted_width, c.distorted_height, 6);
  if (c.alpha) distorted.alpha = alpha_of(distorted.data.size(), [](std::size_t) { return 0.5f; });
  const auto score = score_decoded(std::move(source), std::move(distorted));
  ASSERT_FALSE(score.has_value());
  EXPECT_EQ(score.error(), c.message);
}

INSTANTIATE_TEST_SUITE_P(Metric, ScoreFailureTest, testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScoreDecodedTest, BuffersThatDoNotHoldTheirSizeAreNamed) {
  DecodedImage short_source = gradient(16, 16, 7);
  short_source.data.truncate(255);
  auto score = score_decoded(std::move(short_source), gradient(16, 16, 8));
  ASSERT_FALSE(score.has_value());
  EXPECT_EQ(score.error(), "Failed to process source into RGB: ResolutionMismatch");

  DecodedImage long_distorted = gradient(16, 16, 8);
  long_distorted.height = 15;
  score = score_decoded(gradient(16, 15, 7), std::move(long_distorted));
  ASSERT_FALSE(score.has_value());
  EXPECT_EQ(score.error(), "Failed to process distorted into RGB: ResolutionMismatch");

  // On the alpha path a short alpha array shortens the composite below width x height.
  DecodedImage short_alpha = gradient(16, 16, 7);
  short_alpha.alpha = alpha_of(200, [](std::size_t) { return 1.0f; });
  score = score_decoded(std::move(short_alpha), gradient(16, 16, 8));
  ASSERT_FALSE(score.has_value());
  EXPECT_EQ(score.error(), "Failed to process source into RGB: ResolutionMismatch");
}

}  // namespace
}  // namespace velquon
