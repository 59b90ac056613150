#pragma once

#include <cstdint>

namespace velquon {

// The Highway targets this CPU and its operating system can run, as Highway's target bits.
// Only the targets the kernels are compiled for are detected precisely (AVX2 and AVX-512 on
// x86-64, NEON on 64-bit Arm); the baseline bits are always set.
std::int64_t detect_cpu_targets();

}  // namespace velquon
