#pragma once

#include <bit>
#include <cstdint>
#include <span>
#include <vector>

#include "colour/vec.h"

namespace metric::testing {

inline std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }
inline std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

inline std::vector<std::uint32_t> all_bits(std::span<const float> values) {
  std::vector<std::uint32_t> out;
  for (float v : values) out.push_back(bits(v));
  return out;
}

// A small fixed generator (64-bit LCG), so that synthetic data is the same on every platform.
class Lcg {
 public:
  explicit Lcg(std::uint64_t seed) : state_(seed) {}
  std::uint32_t next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(state_ >> 40);  // 24 bits
  }
  // Uniform in [0, 1) with 24 bits, exact as a float.
  float unit() { return static_cast<float>(next()) / 16777216.0f; }

 private:
  std::uint64_t state_;
};

inline colour::Vec<float> random_plane(std::size_t n, std::uint64_t seed) {
  Lcg rng(seed);
  auto v = colour::Vec<float>::zeroed(n);
  for (float& x : v) x = rng.unit() * 2.0f - 0.5f;
  return v;
}

}  // namespace metric::testing
