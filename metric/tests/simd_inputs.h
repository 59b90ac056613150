#pragma once

// Inputs and comparisons for the tests that hold a vectorised kernel against its scalar
// reference on every compiled target.

#include <gtest/gtest.h>
#include <hwy/highway.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "colour/vec.h"
#include "test_util.h"

namespace metric::testing {

// Around every vector width (4, 8, 16 floats), the row-pass tiles and the old strip sizes.
inline constexpr std::size_t kSimdWidths[] = {1,  2,  3,   4,   5,   6,   7,   8,   9,
                                              10, 11, 12,  13,  14,  15,  16,  17,  31,
                                              32, 33, 127, 128, 129, 159, 160, 161, 300};
inline constexpr std::size_t kSimdHeights[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};

// How often the awkward floats appear: a NaN or an infinity spreads along the recursion of its
// whole row and column, so the blur needs them rare to test anything else.
enum class Awkward { Often, Rarely, NoNanOrInfinity };

// Ordinary values in [lo, hi) with, mixed in at random places: quiet NaNs with random payloads
// and signs, both infinities, both zeros, subnormals and huge values.
inline colour::Vec<float> simd_inputs(std::size_t count, std::uint64_t seed, float lo, float hi,
                                      Awkward awkward) {
  Lcg rng(seed);
  const std::uint32_t one_in = awkward == Awkward::Often ? 8 : 300;
  auto out = colour::Vec<float>::zeroed(count);
  for (float& v : out) {
    const std::uint32_t bits = rng.next() << 8 | rng.next() >> 16;
    const std::uint32_t sign = bits & 0x80000000u;
    v = lo + (hi - lo) * rng.unit();
    if (rng.next() % one_in != 0) continue;
    switch (rng.next() % 6) {
      case 0:
        if (awkward != Awkward::NoNanOrInfinity) v = std::bit_cast<float>(bits | 0x7FC00000u);
        break;
      case 1:
        if (awkward != Awkward::NoNanOrInfinity) v = std::bit_cast<float>(sign | 0x7F800000u);
        break;
      case 2:
        v = std::bit_cast<float>(sign);
        break;
      case 3:
        v = std::bit_cast<float>(sign | (bits & 0x007FFFFFu) | 1u);
        break;
      case 4:
        v = std::copysign(bits % 2 ? 1e30f : FLT_MAX, sign ? -1.0f : 1.0f);
        break;
      default:
        v = std::copysign(bits % 2 ? 1e-30f : 65504.0f, sign ? -1.0f : 1.0f);
    }
  }
  return out;
}

// Which of two NaNs an operation passes on is left open by IEEE 754, and compilers swap the
// operands of commutative operations freely; a NaN made from infinities has the target's
// default bits. So a NaN result is accepted for a NaN result whenever the inputs held a NaN or
// an infinity. Every other value must match bit for bit.
inline bool same_bits(float got, float want, bool inputs_awkward) {
  if (bits(got) == bits(want)) return true;
  return inputs_awkward && std::isnan(got) && std::isnan(want);
}
inline bool same_bits(double got, double want, bool inputs_awkward) {
  if (bits(got) == bits(want)) return true;
  return inputs_awkward && std::isnan(got) && std::isnan(want);
}

inline bool any_nan_or_infinity(std::span<const float> values) {
  for (float v : values) {
    if (!std::isfinite(v)) return true;
  }
  return false;
}

inline ::testing::AssertionResult same_plane(std::span<const float> got,
                                             std::span<const float> want, bool inputs_awkward,
                                             std::int64_t target) {
  if (got.size() != want.size()) return ::testing::AssertionFailure() << "sizes differ";
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (same_bits(got[i], want[i], inputs_awkward)) continue;
    char text[160];
    std::snprintf(text, sizeof text, "%s: value %zu of %zu: got 0x%08X, want 0x%08X",
                  hwy::TargetName(target), i, got.size(), bits(got[i]), bits(want[i]));
    return ::testing::AssertionFailure() << text;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace metric::testing
