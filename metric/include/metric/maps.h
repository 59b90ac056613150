#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "metric/plane.h"

namespace metric {

// SSIM_C2: the float nearest 0.0009, SSIM's stabilising constant for values of range 1.
inline constexpr float kSsimC2 = std::bit_cast<float>(0x3A6BEDFAu);  // 0.0008999999845400453

// Per plane X, Y, B: the mean and the 4-norm of the SSIM error 1 - ssim (never negative).
// mu1, mu2: blurred source and distorted planes; s11, s22, s12: blurred products.
std::array<double, 6> ssim_map(std::uint64_t width, std::uint64_t height, const PlaneTriple& mu1,
                               const PlaneTriple& mu2, const PlaneTriple& s11,
                               const PlaneTriple& s22, const PlaneTriple& s12);

// Per plane X, Y, B: artifact mean and 4-norm, then detail-loss mean and 4-norm.
// img1, img2: the unblurred source and distorted planes; mu1, mu2: their blur.
std::array<double, 12> edge_diff_map(std::uint64_t width, std::uint64_t height,
                                     const PlaneTriple& img1, const PlaneTriple& mu1,
                                     const PlaneTriple& img2, const PlaneTriple& mu2);

}  // namespace metric
