#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

namespace colour::testing {

constexpr float f32(std::uint32_t bits) { return std::bit_cast<float>(bits); }
constexpr std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }

constexpr std::uint32_t kPosZero = 0x00000000u;
constexpr std::uint32_t kNegZero = 0x80000000u;
constexpr std::uint32_t kPosInf = 0x7F800000u;
constexpr std::uint32_t kNegInf = 0xFF800000u;
constexpr std::uint32_t kQuietNan = 0x7FC00000u;
constexpr std::uint32_t kNegQuietNan = 0xFFC00000u;
// Any NaN will do where a row expects this.
constexpr std::uint32_t kAnyNan = 0x7FFFFFFFu;

inline std::string hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", v);
  return text;
}

// Exact bit equality, except that kAnyNan accepts every NaN.
inline ::testing::AssertionResult same_bits(float got, std::uint32_t want) {
  if (want == kAnyNan ? std::isnan(got) : bits(got) == want) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "got " << hex(bits(got)) << " (" << got << "), want "
                                       << (want == kAnyNan ? std::string("a NaN") : hex(want));
}

}  // namespace colour::testing
