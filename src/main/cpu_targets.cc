#include "main/cpu_targets.h"

#include <hwy/highway.h>

#if defined(__x86_64__) || defined(_M_X64)
#include <cpuid.h>
#endif

namespace velquon {
namespace {

#if defined(__x86_64__) || defined(_M_X64)

bool bit(std::uint32_t reg, int n) { return ((reg >> n) & 1u) != 0; }

std::uint64_t xcr0() {
  std::uint32_t lo = 0, hi = 0;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return (static_cast<std::uint64_t>(hi) << 32) | lo;
}

std::int64_t detect_x86() {
  std::int64_t targets = 0;
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return targets;
  const unsigned c1 = c;
  // Everything the AVX2 kernels are compiled with: SSSE3, SSE4.1/4.2, PCLMUL, AES, AVX, FMA,
  // F16C (leaf 1), AVX2, BMI1/2 (leaf 7), and the OS saving the YMM state (XSAVE, XCR0).
  const bool leaf1 = bit(c1, 9) && bit(c1, 19) && bit(c1, 20) && bit(c1, 1) && bit(c1, 25) &&
                     bit(c1, 28) && bit(c1, 12) && bit(c1, 29) && bit(c1, 27);
  if (!leaf1) return targets;
  const std::uint64_t xcr = xcr0();
  if ((xcr & 0x6) != 0x6) return targets;
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return targets;
  const unsigned b7 = b;
  if (bit(b7, 5) && bit(b7, 3) && bit(b7, 8)) targets |= HWY_AVX2;
  // AVX-512 F, DQ, BW, VL, and the OS saving the opmask and ZMM state.
  if ((targets & HWY_AVX2) && bit(b7, 16) && bit(b7, 17) && bit(b7, 30) && bit(b7, 31) &&
      (xcr & 0xE0) == 0xE0) {
    targets |= HWY_AVX3;
  }
  return targets;
}

#endif

}  // namespace

std::int64_t detect_cpu_targets() {
  std::int64_t targets = HWY_SCALAR | HWY_EMU128 | HWY_STATIC_TARGET;
#if defined(__x86_64__) || defined(_M_X64)
  targets |= detect_x86();
#elif defined(__aarch64__)
  targets |= HWY_NEON;  // every 64-bit Arm CPU has it
#endif
  return targets;
}

}  // namespace velquon
