#include "main/cpu_targets.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

namespace velquon {
namespace {

// The executable picks its kernels from its own CPU detection; it must agree with Highway's on
// every target the kernels are compiled for, or a CPU would run code it lacks (or miss speed).
TEST(CpuTargets, AgreeWithHighwayOnTheKernelTargets) {
  hwy::SetSupportedTargetsForTest(0);
  constexpr std::int64_t kKernelTargets = HWY_AVX2 | HWY_AVX3 | HWY_NEON;
  EXPECT_EQ(detect_cpu_targets() & kKernelTargets, hwy::SupportedTargets() & kKernelTargets);
  EXPECT_NE(detect_cpu_targets() & HWY_STATIC_TARGET, 0);
}

}  // namespace
}  // namespace velquon
