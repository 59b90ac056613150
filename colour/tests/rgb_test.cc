#include "colour/rgb.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "colour/linear_rgb.h"
#include "colour/log.h"

namespace colour {
namespace {

using TC = TransferCharacteristic;
using CP = ColorPrimaries;

class CapturingLogger final : public log::Logger {
 public:
  struct Captured {
    log::Level level;
    std::string target;
    std::string module_path;
    std::string file;
    std::uint32_t line;
    std::string message;
  };
  void log(const log::Record& r) override {
    records.push_back({r.level, std::string(r.target), std::string(r.module_path),
                       std::string(r.file), r.line, r.message});
  }
  std::vector<Captured> records;
};

// Installs a capturing logger that admits warnings, and restores the silent default.
class RgbCreate : public ::testing::Test {
 protected:
  void SetUp() override {
    log::set_logger(&logger_);
    log::set_max_level(log::Level::Warn);
  }
  void TearDown() override {
    log::set_max_level(log::Level::Off);
    log::set_logger(nullptr);
  }
  CapturingLogger logger_;
};

PixelBuffer pixels(std::size_t n) { return PixelBuffer::zeroed(n); }

TEST_F(RgbCreate, EmptyFrameWithOneZeroSide) {
  auto rgb = Rgb::create(PixelBuffer(), 0, 5, TC::Srgb, CP::ItuBt709);
  ASSERT_TRUE(rgb.has_value());
  EXPECT_TRUE(rgb->data.empty());
  EXPECT_EQ(rgb->width, 0u);
  EXPECT_EQ(rgb->height, 5u);
  EXPECT_TRUE(logger_.records.empty());
}

TEST_F(RgbCreate, LengthMismatchIsReportedBeforeAnyGuess) {
  struct Case {
    const char* name;
    std::size_t length;
    std::uint64_t width, height;
  };
  const Case cases[] = {
      {"too few", 5, 3, 2},
      {"too many", 7, 3, 2},
      {"product wraps to the length", 0, 1ull << 32, 1ull << 32},
      {"product wraps to a small length", 1, (1ull << 32) + 1, (1ull << 32) - 1},
  };
  for (const auto& c : cases) {
    auto rgb = Rgb::create(pixels(c.length), c.width, c.height, TC::Unspecified, CP::Unspecified);
    ASSERT_FALSE(rgb.has_value()) << c.name;
    EXPECT_EQ(rgb.error(), CreationError::ResolutionMismatch) << c.name;
  }
  EXPECT_TRUE(logger_.records.empty());
}

TEST_F(RgbCreate, GuessesSrgbThenBt709WithOneWarningEach) {
  auto rgb = Rgb::create(pixels(6), 3, 2, TC::Unspecified, CP::Unspecified);
  ASSERT_TRUE(rgb.has_value());
  EXPECT_EQ(rgb->transfer, TC::Srgb);
  EXPECT_EQ(rgb->primaries, CP::ItuBt709);

  ASSERT_EQ(logger_.records.size(), 2u);
  const auto& transfer = logger_.records[0];
  const auto& primaries = logger_.records[1];
  EXPECT_EQ(transfer.message, "Transfer characteristics not specified. Guessing sRGB");
  EXPECT_EQ(primaries.message, "Color primaries not specified. Guessing ITU BT.709");
  for (const auto& r : logger_.records) {
    EXPECT_EQ(r.level, log::Level::Warn);
    EXPECT_EQ(r.target, "colour::rgb");
    EXPECT_EQ(r.module_path, "colour::rgb");
    EXPECT_TRUE(r.file.ends_with("rgb.cc")) << r.file;
  }
  EXPECT_GT(transfer.line, 0u);
  EXPECT_LT(transfer.line, primaries.line);
}

TEST_F(RgbCreate, OnlyTheUnspecifiedFieldIsGuessed) {
  auto rgb = Rgb::create(pixels(1), 1, 1, TC::Linear, CP::Unspecified);
  ASSERT_TRUE(rgb.has_value());
  EXPECT_EQ(rgb->transfer, TC::Linear);
  EXPECT_EQ(rgb->primaries, CP::ItuBt709);
  ASSERT_EQ(logger_.records.size(), 1u);
  EXPECT_EQ(logger_.records[0].message, "Color primaries not specified. Guessing ITU BT.709");
}

TEST_F(RgbCreate, NoRecordUnlessTheLevelAdmitsWarnings) {
  for (log::Level level : {log::Level::Off, log::Level::Error}) {
    log::set_max_level(level);
    auto rgb = Rgb::create(pixels(1), 1, 1, TC::Unspecified, CP::Unspecified);
    ASSERT_TRUE(rgb.has_value());
    EXPECT_EQ(rgb->transfer, TC::Srgb);
    EXPECT_EQ(rgb->primaries, CP::ItuBt709);
  }
  EXPECT_TRUE(logger_.records.empty());
}

TEST_F(RgbCreate, KeepsMetadataThatConversionsRejectLater) {
  auto rgb = Rgb::create(pixels(2), 2, 1, TC::SmpteSt428, CP::Identity);
  ASSERT_TRUE(rgb.has_value());
  EXPECT_EQ(rgb->transfer, TC::SmpteSt428);
  EXPECT_EQ(rgb->primaries, CP::Identity);
  EXPECT_TRUE(logger_.records.empty());
}

TEST(LinearRgbCreate, ChecksTheLength) {
  auto ok = LinearRgb::create(pixels(6), 2, 3);
  ASSERT_TRUE(ok.has_value());
  EXPECT_EQ(ok->width, 2u);
  EXPECT_EQ(ok->height, 3u);
  auto bad = LinearRgb::create(pixels(6), 4, 2);
  ASSERT_FALSE(bad.has_value());
  EXPECT_EQ(bad.error(), CreationError::ResolutionMismatch);
  auto wrapped = LinearRgb::create(PixelBuffer(), 1ull << 63, 2);
  ASSERT_FALSE(wrapped.has_value());
}

TEST(LinearRgbClone, CopiesExactlyAndIndependently) {
  auto source =
      LinearRgb::create(PixelBuffer::from(std::vector<Pixel>{{1, 2, 3}, {4, 5, 6}}), 1, 2);
  ASSERT_TRUE(source.has_value());
  LinearRgb copy = source->clone();
  EXPECT_EQ(copy.width, 1u);
  EXPECT_EQ(copy.height, 2u);
  EXPECT_EQ(copy.data.capacity(), 2u);
  EXPECT_NE(copy.data.data(), source->data.data());
  copy.data[0][0] = 9.0f;
  EXPECT_EQ(source->data[0][0], 1.0f);
  EXPECT_EQ(copy.data[1], source->data[1]);

  auto empty = LinearRgb::create(PixelBuffer(), 4, 0);
  ASSERT_TRUE(empty.has_value());
  const LinearRgb empty_copy = empty->clone();
  EXPECT_TRUE(empty_copy.data.empty());
  EXPECT_EQ(empty_copy.width, 4u);
  EXPECT_EQ(empty_copy.height, 0u);
}

}  // namespace
}  // namespace colour
