#pragma once

// Inputs and comparison for the tests that hold a vectorised kernel against its scalar
// reference on every compiled target.

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <hwy/highway.h>

namespace colour::testing {

// Around every vector width (4, 8, 16 floats; 4, 8, 16 pixels) and a few lengths well past it.
inline constexpr std::size_t kSimdLengths[] = {1,  2,  3,   4,   5,   6,   7,   8,   9,
                                               10, 11, 12,  13,  14,  15,  16,  17,  31,
                                               32, 33, 127, 128, 129, 159, 160, 161, 300};

// Mostly ordinary values in [lo, hi], with the awkward floats mixed in at random places: NaNs
// with random payloads and signs, both infinities and zeros, subnormals, huge values, random bit
// patterns and the caller's own values of interest (thresholds and their neighbours).
inline std::vector<float> simd_inputs(std::size_t count, std::uint32_t seed, float lo, float hi,
                                      const std::vector<float>& interesting = {}) {
  // Only the engine's raw output is used: the standard fixes it, unlike the distributions', so
  // a seed gives the same values with every standard library.
  std::mt19937 rng(seed);
  auto any_bits = [&] { return static_cast<std::uint32_t>(rng()); };
  auto ordinary = [&] { return lo + (hi - lo) * static_cast<float>(any_bits() >> 8) * 0x1p-24f; };
  const std::vector<float>& extra = interesting;
  std::vector<float> values;
  values.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t bits = any_bits();
    const std::uint32_t sign = bits & 0x80000000u;
    float v = 0.0f;
    switch (any_bits() % 16) {
      case 0:  // quiet NaN, any payload and sign; signalling NaNs are never produced upstream
        v = std::bit_cast<float>(bits | 0x7FC00000u);
        break;
      case 1:
        v = std::bit_cast<float>(sign | 0x7F800000u);
        break;
      case 2:
        v = std::bit_cast<float>(sign);
        break;
      case 3:  // subnormal
        v = std::bit_cast<float>(sign | (bits & 0x007FFFFFu) | 1u);
        break;
      case 4: {  // huge, up to the largest float
        const float huge[] = {1e30f, 3e38f, FLT_MAX, 65504.0f, 1e10f};
        v = std::copysign(huge[bits % 5], sign ? -1.0f : 1.0f);
        break;
      }
      case 5: {  // any bit pattern, NaNs quietened
        v = std::bit_cast<float>(bits);
        if (std::isnan(v)) v = std::bit_cast<float>(bits | 0x00400000u);
        break;
      }
      case 6:
      case 7:
        if (!extra.empty()) {
          v = extra[bits % extra.size()];
          break;
        }
        [[fallthrough]];
      default:
        v = ordinary();
    }
    values.push_back(v);
  }
  return values;
}

// The value and its two neighbours, for the thresholds of a kernel.
inline std::vector<float> with_neighbours(std::initializer_list<float> centres) {
  std::vector<float> out;
  for (float c : centres) {
    out.push_back(std::nextafter(c, -INFINITY));
    out.push_back(c);
    out.push_back(std::nextafter(c, INFINITY));
  }
  return out;
}

// Which of two NaNs an operation passes on is left open by IEEE 754, and compilers swap the
// operands of commutative operations freely. So where the operands of one item (a value, or a
// pixel and the matrix it meets) can bring two different NaNs together (NaNs of different bits,
// or a NaN and an infinity, which can make a default NaN), any NaN result is accepted.
inline bool nan_choice_is_open(const float* item, std::size_t size, std::span<const float> shared) {
  std::vector<float> operands(item, item + size);
  operands.insert(operands.end(), shared.begin(), shared.end());
  bool infinity = false;
  std::vector<std::uint32_t> nans;
  for (float v : operands) {
    infinity = infinity || std::isinf(v);
    if (std::isnan(v)) nans.push_back(std::bit_cast<std::uint32_t>(v) | 0x00400000u);
  }
  if (nans.empty()) return false;
  if (infinity) return true;
  for (std::uint32_t b : nans) {
    if (b != nans[0]) return true;
  }
  return false;
}

// Bit-for-bit equality, NaN payloads included (but see nan_choice_is_open); names the target
// and the first mismatch. `item_size` values of the input belong to one result item.
inline ::testing::AssertionResult same_bits_everywhere(const std::vector<float>& input,
                                                       const float* got, const float* want,
                                                       std::int64_t target,
                                                       std::size_t item_size = 1,
                                                       std::span<const float> shared = {}) {
  for (std::size_t i = 0; i < input.size(); ++i) {
    const auto g = std::bit_cast<std::uint32_t>(got[i]);
    const auto w = std::bit_cast<std::uint32_t>(want[i]);
    if (g == w) continue;
    const float* item = input.data() + i / item_size * item_size;
    if (std::isnan(got[i]) && std::isnan(want[i]) && nan_choice_is_open(item, item_size, shared)) {
      continue;
    }
    char text[160];
    std::snprintf(text, sizeof text, "%s: value %zu of %zu, input 0x%08X: got 0x%08X, want 0x%08X",
                  hwy::TargetName(target), i, input.size(), std::bit_cast<std::uint32_t>(input[i]),
                  g, w);
    return ::testing::AssertionFailure() << text;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace colour::testing
