#include "metric/blur.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "colour/invariant.h"
#include "test_util.h"

namespace metric {
namespace {

using testing::all_bits;
using testing::bits;
using testing::random_plane;

Blur make_blur(std::uint64_t width, std::uint64_t height) {
  return Blur{colour::Vec<float>::zeroed(width * height), width, height};
}

colour::Vec<float> constant_plane(std::size_t n, float value) {
  auto v = colour::Vec<float>::zeroed(n);
  for (float& x : v) x = value;
  return v;
}

TEST(BlurPlane, ZerosStayPositiveZero) {
  Blur blur = make_blur(19, 7);
  const auto out = blur.blur_plane(colour::Vec<float>::zeroed(19 * 7).span());
  for (float v : out) ASSERT_EQ(bits(v), 0u);
}

// The left and top edges differ because the row and column passes round differently, and the
// two corners differ because the filter is not exactly symmetric in 32-bit floats.
TEST(BlurPlane, OnesGiveTheKnownBitsAtEdgesAndCentre) {
  struct Case {
    const char* name;
    std::size_t row, column;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {"centre", 8, 8, 0x3F80000Au},         {"left edge", 8, 0, 0x3F21DF29u},
      {"top edge", 0, 8, 0x3F21DF25u},       {"top left", 0, 0, 0x3ECCB4C8u},
      {"bottom right", 15, 15, 0x3ECCB4E0u},
  };
  Blur blur = make_blur(16, 16);
  const auto out = blur.blur_plane(constant_plane(256, 1.0f).span());
  ASSERT_EQ(out.size(), 256u);
  EXPECT_EQ(out.capacity(), 256u);
  for (const Case& c : cases) {
    EXPECT_EQ(bits(out[c.row * 16 + c.column]), c.expected) << c.name;
  }
}

TEST(BlurRows, ImpulseGivesTheNineTapResponse) {
  auto row = colour::Vec<float>::zeroed(60);
  row[20] = 1.0f;
  Blur blur = make_blur(60, 1);
  blur_rows(row.span(), blur.scratch.span(), 60);
  for (std::size_t x = 0; x < 16; ++x) EXPECT_EQ(bits(blur.scratch[x]), 0u) << x;
  const double response[9] = {0.009414, 0.036011, 0.109335, 0.212929, 0.264621,
                              0.212929, 0.109335, 0.036011, 0.009414};
  for (std::size_t i = 0; i < 9; ++i) EXPECT_NEAR(blur.scratch[16 + i], response[i], 5e-7) << i;
  // Past the response only a rounding residue remains; it does not die out.
  for (std::size_t x = 25; x < 60; ++x) EXPECT_LT(std::abs(blur.scratch[x]), 1e-6f) << x;

  const auto out = blur.blur_plane(row.span());
  EXPECT_EQ(bits(out[20]), bits(0.07002434879541397f));
}

// Values past a line's end read as zero: a short line filters like the start of the same line
// padded with zeros. This covers lines shorter than the filter's taps.
TEST(BlurLines, ShortLinesMatchZeroPaddedLines) {
  constexpr std::size_t kPadded = 24;
  for (std::size_t len : {1, 2, 3, 5}) {
    SCOPED_TRACE("length " + std::to_string(len));
    const auto data = random_plane(len, 7 + len);
    auto padded = colour::Vec<float>::zeroed(kPadded);
    for (std::size_t i = 0; i < len; ++i) padded[i] = data[i];

    auto row = colour::Vec<float>::zeroed(len);
    auto padded_row = colour::Vec<float>::zeroed(kPadded);
    blur_rows(data.span(), row.span(), len);
    blur_rows(padded.span(), padded_row.span(), kPadded);
    EXPECT_EQ(all_bits(row.span()), all_bits(padded_row.span().first(len)));

    auto column = colour::Vec<float>::zeroed(len);
    auto padded_column = colour::Vec<float>::zeroed(kPadded);
    blur_columns(data.span(), column.span(), 1, len);
    blur_columns(padded.span(), padded_column.span(), 1, kPadded);
    EXPECT_EQ(all_bits(column.span()), all_bits(padded_column.span().first(len)));
  }
}

// The widths around the strip sizes (128, 32, single columns) must not change any value.
class BlurColumnsStrips : public ::testing::TestWithParam<std::size_t> {};

TEST_P(BlurColumnsStrips, EveryColumnEqualsTheColumnFilteredAlone) {
  const std::size_t width = GetParam();
  constexpr std::size_t kHeight = 23;
  const auto in = random_plane(width * kHeight, width);
  auto out = colour::Vec<float>::zeroed(width * kHeight);
  blur_columns(in.span(), out.span(), width, kHeight);

  auto column = colour::Vec<float>::zeroed(kHeight);
  auto alone = colour::Vec<float>::zeroed(kHeight);
  for (std::size_t x = 0; x < width; ++x) {
    for (std::size_t y = 0; y < kHeight; ++y) column[y] = in[y * width + x];
    blur_columns(column.span(), alone.span(), 1, kHeight);
    for (std::size_t y = 0; y < kHeight; ++y) {
      ASSERT_EQ(bits(out[y * width + x]), bits(alone[y])) << "column " << x << " row " << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Widths, BlurColumnsStrips,
                         ::testing::Values(31, 32, 33, 127, 128, 129, 159, 160, 161, 300),
                         [](const auto& info) { return "w" + std::to_string(info.param); });

TEST(BlurPlane, BlursTheThreePlanesOfATripleInOrder) {
  Blur blur = make_blur(9, 10);
  const PlaneTriple in{{random_plane(90, 1), random_plane(90, 2), random_plane(90, 3)}};
  const PlaneTriple out = blur.blur(in);
  for (std::size_t c = 0; c < 3; ++c) {
    EXPECT_EQ(all_bits(out[c].span()), all_bits(blur.blur_plane(in[c].span()).span())) << c;
  }
}

// Broken invariants, met in this order: plane against scratch, zero width, size against
// width x height.
TEST(BlurPlane, BrokenInvariantsReportInOrder) {
  struct Case {
    const char* name;
    std::size_t plane_len, scratch_len;
    std::uint64_t width, height;
    const char* message;
  };
  const Case cases[] = {
      {"plane shorter than scratch", 15, 16, 4, 4,
       "assertion `left == right` failed\n  left: 15\n right: 16"},
      {"plane length wins over zero width", 17, 16, 0, 4,
       "assertion `left == right` failed\n  left: 17\n right: 16"},
      {"zero width", 16, 16, 0, 4, "chunk size must be non-zero"},
      {"length is not width x height", 16, 16, 4, 3,
       "assertion `left == right` failed\n  left: 16\n right: 12"},
  };
  for (const Case& c : cases) {
    Blur blur{colour::Vec<float>::zeroed(c.scratch_len), c.width, c.height};
    const auto plane = constant_plane(c.plane_len, 1.0f);
    try {
      blur.blur_plane(plane.span());
      ADD_FAILURE() << c.name << ": no invariant failure";
    } catch (const colour::InvariantError& e) {
      EXPECT_STREQ(e.what(), c.message) << c.name;
    }
  }
}

TEST(BlurPlane, RowPassRunsBeforeTheSizeCheckFails) {
  Blur blur{constant_plane(16, -1.0f), 4, 3};
  const auto plane = constant_plane(16, 1.0f);
  EXPECT_THROW(blur.blur_plane(plane.span()), colour::InvariantError);
  EXPECT_GT(blur.scratch[0], 0.0f);
}

}  // namespace
}  // namespace metric
