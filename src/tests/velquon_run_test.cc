// The executable end to end on PNG files the tests write themselves.
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures.h"
#include "icc/decode_image.h"
#include "icc/os_error.h"
#include "main/format_score.h"
#include "main/run.h"
#include "subprocess.h"

namespace velquon {
namespace {

using test::PngSpec;
using test::run_velquon;
using test::RunOptions;

class VelquonRunTest : public testing::Test {
 protected:
  // An 8-bit RGB (3 channels) or RGBA (4) PNG of the shared gradient.
  std::string png(const std::string& name, std::uint32_t width, std::uint32_t height, int channels,
                  std::uint32_t seed) {
    PngSpec spec;
    spec.width = width;
    spec.height = height;
    spec.color_type = channels == 4 ? 6 : 2;
    for (std::uint8_t v : test::gradient_rgb8(width, height, channels, seed)) {
      spec.samples.push_back(v);
    }
    return write(name, spec);
  }

  std::string write(const std::string& name, const PngSpec& spec) {
    const auto path = dir_ / name;
    test::write_png(path, spec);
    return path.string();
  }

  // The RGB gradient with an alpha sample appended to each pixel.
  PngSpec with_alpha(std::uint32_t width, std::uint32_t height, std::uint32_t seed,
                     std::uint16_t (*alpha)(std::size_t)) {
    PngSpec spec;
    spec.width = width;
    spec.height = height;
    spec.color_type = 6;
    const test::Bytes rgb = test::gradient_rgb8(width, height, 3, seed);
    for (std::size_t i = 0; i < rgb.size() / 3; ++i) {
      spec.samples.insert(spec.samples.end(), {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]});
      spec.samples.push_back(alpha(i));
    }
    return spec;
  }

  test::TempDir dir_;
};

void expect_failure(const test::RunResult& result, const std::string& message) {
  EXPECT_EQ(result.status, FAILURE_STATUS);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, message + "\n");
}

TEST_F(VelquonRunTest, IdenticalFilesScoreHundred) {
  for (int channels : {3, 4}) {
    const auto file = png("same" + std::to_string(channels) + ".png", 16, 12, channels, 1);
    const auto result = run_velquon({"image", file, file});
    EXPECT_EQ(result.status, 0) << channels;
    EXPECT_EQ(result.out, "Score: 100.00000000\n") << channels;
    EXPECT_EQ(result.err, "") << channels;
  }
}

TEST_F(VelquonRunTest, OpaqueAlphaScoresLikeNoAlpha) {
  auto opaque = [](std::size_t) -> std::uint16_t { return 255; };
  const auto source_rgb = png("s.png", 20, 17, 3, 1);
  const auto distorted_rgb = png("d.png", 20, 17, 3, 2);
  const auto source_rgba = write("sa.png", with_alpha(20, 17, 1, opaque));
  const auto distorted_rgba = write("da.png", with_alpha(20, 17, 2, opaque));

  const auto plain = run_velquon({"image", source_rgb, distorted_rgb});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.out, "Score: 100.00000000\n");
  EXPECT_EQ(run_velquon({"image", source_rgba, distorted_rgba}).out, plain.out);
  EXPECT_EQ(run_velquon({"image", "--no-icc", source_rgb, distorted_rgba}).out, plain.out);
}

TEST_F(VelquonRunTest, OnlyDistortedWithAlphaPrintsTheAlphaPathScore) {
  const auto source = png("s.png", 24, 16, 3, 3);
  const auto distorted = write(
      "d.png", with_alpha(24, 16, 3, [](std::size_t i) -> std::uint16_t { return i * 37 % 256; }));
  const auto result = run_velquon({"image", source, distorted});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");

  // What the executable prints is the in-process score of the same decoded files.
  auto expected =
      score_decoded(decode_image(source, true).value(), decode_image(distorted, true).value());
  ASSERT_TRUE(expected.has_value()) << expected.error();
  EXPECT_EQ(result.out, score_line(*expected));
  EXPECT_NE(result.out, "Score: 100.00000000\n");
}

TEST_F(VelquonRunTest, MetricFailuresEndWithTheirMessage) {
  const auto wide = png("wide.png", 17, 16, 3, 1);
  const auto square = png("square.png", 16, 16, 3, 1);
  const auto square_alpha = write(
      "square_alpha.png", with_alpha(16, 16, 1, [](std::size_t) -> std::uint16_t { return 128; }));
  const auto tiny = png("tiny.png", 7, 7, 3, 1);
  expect_failure(run_velquon({"image", square, wide}),
                 "Failed to calculate ssimulacra2: NonMatchingImageDimensions");
  expect_failure(run_velquon({"image", square_alpha, wide}),
                 "Failed to calculate ssimulacra2: NonMatchingImageDimensions");
  expect_failure(run_velquon({"image", tiny, tiny}),
                 "Failed to calculate ssimulacra2: InvalidImageSize");
}

TEST_F(VelquonRunTest, SourceIsDecodedFirstAndAFailureStopsTheRun) {
  const auto good = png("good.png", 16, 16, 3, 1);
  const auto missing = (dir_ / "missing.png").string();
  const auto missing_result = run_velquon({"image", missing, good});
  EXPECT_EQ(missing_result.status, FAILURE_STATUS);
  EXPECT_EQ(missing_result.out, "");
  // One failure message, the source's: the distorted file is never reached.
  const auto expected = decode_image(missing, true);
  ASSERT_FALSE(expected.has_value());
  EXPECT_EQ(missing_result.err, expected.error().message + "\n");
  EXPECT_EQ(run_velquon({"image", good, missing}).err, missing_result.err);
}

TEST_F(VelquonRunTest, ClosedPipeOnStdoutFailsWithStatus101) {
  const auto file = png("same.png", 16, 16, 3, 1);
  RunOptions gone;
  gone.stdout_reader_gone = true;
  const auto result = run_velquon({"image", file, file}, gone);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.status, FAILURE_STATUS);
  EXPECT_EQ(result.err, "failed printing to stdout: " + os_error_text(EPIPE) + "\n");
}

TEST_F(VelquonRunTest, ClosedStdoutDescriptorStillSucceeds) {
  const auto file = png("same.png", 16, 16, 3, 1);
  RunOptions closed;
  closed.close_stdout = true;
  const auto result = run_velquon({"image", file, file}, closed);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
}

TEST_F(VelquonRunTest, PathBytesReachTheDecoderUnchanged) {
  const std::string name = "-\xff\xfe.png";
  png(name, 16, 16, 3, 1);
  RunOptions in_dir;
  in_dir.cwd = dir_.path().string();
  const auto result = run_velquon({"image", "--", name, name}, in_dir);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "Score: 100.00000000\n");
}

TEST_F(VelquonRunTest, NoIccSkipsTheEmbeddedProfile) {
  const auto plain = png("plain.png", 16, 16, 3, 4);
  PngSpec tagged_spec;
  tagged_spec.width = 16;
  tagged_spec.height = 16;
  for (std::uint8_t v : test::gradient_rgb8(16, 16, 3, 4)) tagged_spec.samples.push_back(v);
  tagged_spec.icc_profile = test::system_profile("AdobeRGB1998.icc");
  const auto tagged = write("tagged.png", tagged_spec);

  const auto converted = run_velquon({"image", plain, tagged});
  EXPECT_EQ(converted.status, 0) << converted.err;
  EXPECT_NE(converted.out, "Score: 100.00000000\n");
  EXPECT_EQ(run_velquon({"image", plain, tagged, "--no-icc"}).out, "Score: 100.00000000\n");
}

}  // namespace
}  // namespace velquon
