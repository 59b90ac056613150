#include "icc/sample_convert.h"

#include <hwy/tests/hwy_gtest.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "colour/invariant.h"
#include "colour/testing/simd_inputs.h"

namespace velquon {
namespace {

using colour::testing::kSimdLengths;

struct Layout {
  const char* name;
  int channels;
};

constexpr Layout kLayouts[] = {{"grey", 1}, {"grey and alpha", 2}, {"RGB", 3}, {"RGBA", 4}};

// Three floats per pixel through the per-value function: the grey sample repeated, the alpha
// sample never read.
template <class Sample, class Unit>
std::vector<float> reference(const std::vector<Sample>& samples, int channels, Unit unit) {
  const std::size_t pixels = samples.size() / static_cast<std::size_t>(channels);
  std::vector<float> out;
  for (std::size_t p = 0; p < pixels; ++p) {
    for (std::size_t c = 0; c < 3; ++c) {
      out.push_back(unit(samples[p * channels + (channels < 3 ? 0 : c)]));
    }
  }
  return out;
}

::testing::AssertionResult same_bits(const std::vector<float>& got, const std::vector<float>& want,
                                     std::int64_t target) {
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (std::bit_cast<std::uint32_t>(got[i]) != std::bit_cast<std::uint32_t>(want[i])) {
      return ::testing::AssertionFailure()
             << hwy::TargetName(target) << ": value " << i << " of " << want.size() << " is "
             << got[i] << ", want " << want[i];
    }
  }
  return ::testing::AssertionSuccess();
}

// 167 is odd, so every 256 samples in a row hold each byte value once.
std::vector<std::uint8_t> byte_samples(std::size_t count) {
  std::vector<std::uint8_t> out(count);
  for (std::size_t k = 0; k < count; ++k) out[k] = static_cast<std::uint8_t>(k * 167 + 13);
  return out;
}

// Random values with both ends of the range at the first and last places, where a lost or
// misplaced lane of the tail shows.
std::vector<std::uint16_t> u16_samples(std::size_t count, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint16_t> out(count);
  for (std::uint16_t& v : out) v = static_cast<std::uint16_t>(rng() >> 16);
  out.front() = 65535;
  out.back() = count > 1 ? 0 : 65535;
  return out;
}

class SampleConvertSimd : public hwy::TestWithParamTarget {};
INSTANTIATE_TEST_SUITE_P(EveryTarget, SampleConvertSimd,
                         ::testing::ValuesIn(hwy::SupportedAndGeneratedTargets()),
                         hwy::TestParamTargetName);

TEST_P(SampleConvertSimd, EveryByteValueInEveryLayoutAndLength) {
  for (const Layout& layout : kLayouts) {
    for (const std::size_t pixels : kSimdLengths) {
      const auto samples = byte_samples(pixels * layout.channels);
      std::vector<float> got(3 * pixels);
      u8_samples_to_rgb(samples, layout.channels, got);
      EXPECT_TRUE(same_bits(got, reference(samples, layout.channels, unit_from_u8), GetParam()))
          << layout.name << ", " << pixels << " pixels";
    }
  }
}

TEST_P(SampleConvertSimd, SixteenBitValuesInBothByteOrders) {
  for (const Layout& layout : kLayouts) {
    for (const std::size_t pixels : kSimdLengths) {
      const auto samples =
          u16_samples(pixels * layout.channels, static_cast<std::uint32_t>(pixels));
      const std::vector<float> want = reference(samples, layout.channels, unit_from_u16);
      std::vector<float> got(3 * pixels);
      u16_samples_to_rgb(samples, layout.channels, got);
      EXPECT_TRUE(same_bits(got, want, GetParam()))
          << layout.name << ", " << pixels << " pixels, native";

      std::vector<std::uint8_t> stored;
      for (const std::uint16_t v : samples) {
        stored.push_back(static_cast<std::uint8_t>(v >> 8));
        stored.push_back(static_cast<std::uint8_t>(v & 0xFF));
      }
      std::vector<float> from_bytes(3 * pixels);
      be16_samples_to_rgb(stored, layout.channels, from_bytes);
      EXPECT_TRUE(same_bits(from_bytes, want, GetParam()))
          << layout.name << ", " << pixels << " pixels, big-endian";
    }
  }
}

TEST(SampleConvert, MismatchedLengthsAndLayoutsAreBrokenInvariants) {
  const std::vector<std::uint8_t> six(6);
  std::vector<float> rgb(6);
  EXPECT_THROW(u8_samples_to_rgb(six, 4, rgb), colour::InvariantError);
  EXPECT_THROW(u8_samples_to_rgb(six, 5, std::span(rgb).first(3)), colour::InvariantError);
  EXPECT_THROW(u8_samples_to_rgb(six, 0, rgb), colour::InvariantError);
  EXPECT_THROW(u8_samples_to_rgb(six, 3, std::span(rgb).first(5)), colour::InvariantError);
  EXPECT_THROW(be16_samples_to_rgb(std::span(six).first(5), 1, std::span(rgb).first(6)),
               colour::InvariantError);
}

}  // namespace
}  // namespace velquon
