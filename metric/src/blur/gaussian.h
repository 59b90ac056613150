#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

// Scalar line kernels of the recursive Gaussian. They are the reference for any faster version:
// a replacement must give the same bits for every input.
namespace metric::gaussian {

// Terms k = 1, 3, 5 of the truncated cosine series (sigma 1.5, radius 5). The bits are the
// constants; they are never recomputed.
inline constexpr int kTerms = 3;
inline constexpr float kA[kTerms] = {
    std::bit_cast<float>(0x3D627D42u),  // 0.05529523640871048
    std::bit_cast<float>(0xBD70FEBDu),  // -0.0588366873562336
    std::bit_cast<float>(0x3C5444A5u),  // 0.012955819256603718
};
// B_5 = 2 cos(pi / 2) rounded from 64 to 32 bits: tiny but not zero, and used as it is.
inline constexpr float kB[kTerms] = {
    std::bit_cast<float>(0x3FF37871u),  // 1.9021130800247192
    std::bit_cast<float>(0x3F967918u),  // 1.1755704879760742
    std::bit_cast<float>(0x250D3132u),  // 1.2246468525851679e-16
};

// Distance of the two taps from the output position: in[n - 6] and in[n + 4].
inline constexpr std::ptrdiff_t kLeftTap = 6;
inline constexpr std::ptrdiff_t kRightTap = 4;

// One row, filtered with the row pass's rounding order; in and out have the same length.
void filter_row(std::span<const float> in, std::span<float> out);

// One step of the column pass for a strip of S columns. left and right hold S operands each;
// prev2, prev1 and cur hold 3 S states (term 1, then 3, then 5). cur receives the new states;
// out, when not empty, receives the S outputs.
void column_step(std::span<const float> left, std::span<const float> right,
                 std::span<const float> prev2, std::span<const float> prev1, std::span<float> cur,
                 std::span<float> out);

}  // namespace metric::gaussian
