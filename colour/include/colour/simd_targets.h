#pragma once

// Include inside a HWY_NAMESPACE section (after hwy/highway.h). True for the targets whose
// MulAdd is a single fused instruction; every other target must call the scalar reference,
// since an unfused multiply-add would change the last bits of the score.
#define VELQUON_FUSED_TARGET                                                        \
  (HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL || \
   HWY_TARGET == HWY_NEON)
