#include <hwy/tests/hwy_gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "colour/linear_rgb.h"
#include "colour/pixel_buffer.h"
#include "colour/rgb.h"
#include "colour/xyb.h"
#include "lib/kernels.h"
#include "lib/pyramid.h"
#include "metric/downscale.h"
#include "simd/kernels.h"
#include "simd_inputs.h"

namespace metric {
namespace {

using testing::any_nan_or_infinity;
using testing::Awkward;
using testing::same_plane;
using testing::simd_inputs;

class ElementwiseSimd : public hwy::TestWithParamTarget {};
INSTANTIATE_TEST_SUITE_P(EveryTarget, ElementwiseSimd,
                         ::testing::ValuesIn(hwy::SupportedAndGeneratedTargets()),
                         hwy::TestParamTargetName);

colour::PixelBuffer pixels_of(const colour::Vec<float>& values) {
  auto out = colour::PixelBuffer::zeroed(values.size() / 3);
  for (std::size_t i = 0; i < out.size(); ++i) {
    for (int c = 0; c < 3; ++c) out[i][c] = values[3 * i + c];
  }
  return out;
}

TEST_P(ElementwiseSimd, ShiftAndSplitEqualsTheShiftThenTheSplit) {
  for (const std::size_t n : testing::kSimdWidths) {
    const auto values = simd_inputs(3 * n, n, -0.1f, 1.1f, Awkward::Often);
    auto want = values.clone();
    shift_xyb_positive(want.span());
    PlaneTriple got = PlaneTriple::zeroed(n);
    const colour::PixelBuffer pixels = pixels_of(values);
    simd::shift_and_split(pixels.span(), got[0].span(), got[1].span(), got[2].span());
    for (std::size_t c = 0; c < 3; ++c) {
      auto plane = colour::Vec<float>::zeroed(n);
      for (std::size_t i = 0; i < n; ++i) plane[i] = want[3 * i + c];
      EXPECT_TRUE(same_plane(got[c].span(), plane.span(), true, GetParam()))
          << n << " pixels, plane " << c;
    }
  }
}

// The reference: xyb_pixel and shift_xyb_positive pixel by pixel, then the split.
TEST_P(ElementwiseSimd, PositiveXybPlanesEqualTheConversionThenTheShift) {
  for (const std::size_t n : testing::kSimdWidths) {
    const auto values = simd_inputs(3 * n, n + 7, -0.1f, 1.1f, Awkward::Often);
    const colour::PixelBuffer pixels = pixels_of(values);
    PlaneTriple want = PlaneTriple::zeroed(n);
    for (std::size_t i = 0; i < n; ++i) {
      colour::Pixel p = colour::xyb_pixel(pixels[i]);
      shift_xyb_positive(p);
      for (std::size_t c = 0; c < 3; ++c) want[c][i] = p[c];
    }
    PlaneTriple got = PlaneTriple::zeroed(n);
    simd::positive_xyb_planes(pixels.span(), got[0].span(), got[1].span(), got[2].span());
    for (std::size_t c = 0; c < 3; ++c) {
      EXPECT_TRUE(same_plane(got[c].span(), want[c].span(), true, GetParam()))
          << n << " pixels, plane " << c;
    }
  }
}

// In place, row by row: frame row y becomes the rows y of the X, Y and B planes; with a
// halved frame asked for, it is downscale_by_2's, taken from the rows before they change.
TEST_P(ElementwiseSimd, XybRowsInPlaceEqualThePlanesAndTheHalvedFrame) {
  for (const std::size_t w : testing::kSimdWidths) {
    for (const std::size_t h : {1u, 2u, 5u}) {
      for (const bool halve : {false, true}) {
        const auto values = simd_inputs(3 * w * h, w + 5 * h, -0.1f, 1.1f, Awkward::Often);
        colour::PixelBuffer frame = pixels_of(values);
        PlaneTriple want = PlaneTriple::zeroed(w * h);
        simd::positive_xyb_planes(frame.span(), want[0].span(), want[1].span(), want[2].span());
        const auto want_half =
            downscale_by_2(*colour::LinearRgb::create(frame.clone(), w, h)).data.clone();
        auto half = colour::PixelBuffer::zeroed(want_half.size());
        auto row = colour::Vec<float>::zeroed(3 * w);
        simd::halve_and_make_xyb_rows(frame.span(), w, h, halve ? half.data() : nullptr,
                                      row.span());
        const std::string name =
            std::to_string(w) + " x " + std::to_string(h) + (halve ? ", halved" : "");
        const std::span<const float> got = colour::flat(frame);
        for (std::size_t y = 0; y < h; ++y) {
          for (std::size_t c = 0; c < 3; ++c) {
            EXPECT_EQ(testing::all_bits(got.subspan((3 * y + c) * w, w)),
                      testing::all_bits(want[c].span().subspan(y * w, w)))
                << name << ", row " << y << ", plane " << c;
          }
        }
        if (halve) {
          EXPECT_EQ(testing::all_bits(colour::flat(half)),
                    testing::all_bits(colour::flat(want_half)))
              << name;
        }
      }
    }
  }
}

TEST_P(ElementwiseSimd, MultiplyPlaneEqualsTheScalarProducts) {
  for (const std::size_t n : testing::kSimdWidths) {
    const auto a = simd_inputs(n, n, -2.0f, 2.0f, Awkward::Often);
    const auto b = simd_inputs(n + 3, n + 1, -2.0f, 2.0f, Awkward::Often);
    auto got = colour::Vec<float>::zeroed(n);
    auto want = colour::Vec<float>::zeroed(n);
    simd::multiply_plane(a.span(), b.span(), got.span());
    multiply_plane(a.span(), b.span(), want.span());
    EXPECT_TRUE(same_plane(got.span(), want.span(), true, GetParam())) << n;
  }
}

// The vector rows of downscale_by_2 against its checked one-pixel-at-a-time loop, which a
// buffer with one pixel too many still takes (the extra pixel is never read).
TEST_P(ElementwiseSimd, DownscaleRowsEqualTheCheckedLoop) {
  for (const std::size_t w : testing::kSimdWidths) {
    for (const std::size_t h : testing::kSimdHeights) {
      const auto values = simd_inputs(3 * (w * h + 1), w * 10 + h, 0.0f, 1.0f, Awkward::Often);
      colour::PixelBuffer exact = pixels_of(values);
      const colour::Pixel extra = exact[w * h];
      exact.truncate(w * h);
      const auto frame = *colour::LinearRgb::create(std::move(exact), w, h);
      const auto fast = downscale_by_2(frame);
      colour::LinearRgb padded = frame.clone();
      padded.data.push_back(extra);
      const auto slow = downscale_by_2(padded);
      ASSERT_EQ(fast.data.size(), slow.data.size());
      EXPECT_TRUE(same_plane(colour::flat(fast.data), colour::flat(slow.data),
                             any_nan_or_infinity(values.span()), GetParam()))
          << w << " x " << h;
    }
  }
}

// The whole pyramid with each target's kernels against the same frames with the scalar ones.
TEST(PyramidSimd, EveryNormOnEveryTargetEqualsTheScalarRun) {
  struct Size {
    std::uint64_t w, h;
  };
  for (const Size s : {Size{37, 29}, Size{64, 64}, Size{161, 97}, Size{300, 217}}) {
    const auto frame = [&](std::uint64_t seed) {
      const auto values = simd_inputs(3 * s.w * s.h, seed, 0.0f, 1.0f, Awkward::NoNanOrInfinity);
      return *colour::LinearRgb::try_from(*colour::Rgb::create(pixels_of(values), s.w, s.h,
                                                               colour::TransferCharacteristic::Srgb,
                                                               colour::ColorPrimaries::ItuBt709));
    };
    const auto run = [&](std::int64_t target) {
      hwy::SetSupportedTargetsForTest(target);
      Msssim m = collect_scale_stats(frame(s.w), frame(s.h));
      hwy::SetSupportedTargetsForTest(0);
      return m;
    };
    const Msssim want = run(HWY_STATIC_TARGET);
    for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
      const Msssim got = run(target);
      ASSERT_EQ(got.scale_stats.size(), want.scale_stats.size());
      for (std::size_t k = 0; k < got.scale_stats.size(); ++k) {
        const ScaleStats& g = got.scale_stats[k];
        const ScaleStats& w = want.scale_stats[k];
        for (std::size_t i = 0; i < 6; ++i) {
          EXPECT_EQ(testing::bits(g.ssim_norms[i]), testing::bits(w.ssim_norms[i]))
              << hwy::TargetName(target) << " " << s.w << " x " << s.h << " scale " << k;
        }
        for (std::size_t i = 0; i < 12; ++i) {
          EXPECT_EQ(testing::bits(g.edge_norms[i]), testing::bits(w.edge_norms[i]))
              << hwy::TargetName(target) << " " << s.w << " x " << s.h << " scale " << k;
        }
      }
    }
  }
}

}  // namespace
}  // namespace metric
