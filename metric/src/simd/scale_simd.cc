// Vector forms of the blur and of the per-pixel map terms, and the banded pipeline that keeps a
// plane's data in cache from its products to its sums.
//
// Row pass: each row is a recursion, so a tile of rows goes through it together, one row per
// lane: tiles of rows x columns are transposed into a column-major line buffer, filtered, and
// transposed back. Column pass: one column per lane, down the rows that a tile of the row pass
// made ready, with the filter states in registers; then the next vector of columns. Lanes
// never mix, so every row and column gets its scalar bits.

#ifndef METRIC_SIMD_SCALE_SIMD_ONCE
#define METRIC_SIMD_SCALE_SIMD_ONCE

#include <cstddef>
#include <cstdint>

namespace metric::simd::layout {

// Rows filtered together by the row pass (at most; 8 on 256-bit and 4 on 128-bit targets) and
// the zero columns around a
// transposed line: in[n - 6] for n = -4 reaches 10 before the first value, in[n + 4] 4 past
// the last.
inline constexpr std::size_t kTileRows = 16;
inline constexpr std::size_t kPadBefore = 10;
inline constexpr std::size_t kPadAfter = 4;
// A band of rows that the column pass still reads (n - 6 ... n + 4) plus the tile being
// written; see BlurBands for the derivation.
inline constexpr std::size_t kRingRows = kTileRows + 10;
// Output rows of one run of column steps: a tile's rows, and after the last tile the 4 rows
// that waited for its lower operands.
inline constexpr std::size_t kBandRows = kTileRows + 4;
// Five blurs per plane pair: s11, s22, s12, mu1, mu2.
inline constexpr std::size_t kChannels = 5;
// Every sub-buffer starts on a multiple of 16 floats (64 bytes).
inline constexpr std::size_t kAlign = 16;

inline constexpr std::size_t round_up(std::size_t n) { return (n + kAlign - 1) / kAlign * kAlign; }

inline std::size_t stride(std::size_t width) { return round_up(width); }
inline std::size_t line_size(std::size_t width) {
  return round_up((width + kPadBefore + kPadAfter) * kTileRows);
}
// Per channel: the ring of rows and nine state rows (the scalar path rotates three buffers of
// three terms; the vector path uses six).
inline std::size_t channel_size(std::size_t width) { return (kRingRows + 9) * stride(width); }
inline std::size_t total_size(std::size_t width) {
  // Channels, their output rows, a zero row, two line buffers, and slack for the alignment.
  return kChannels * (channel_size(width) + kBandRows * stride(width)) + stride(width) +
         2 * line_size(width) + kAlign;
}

}  // namespace metric::simd::layout

#endif  // METRIC_SIMD_SCALE_SIMD_ONCE

#undef HWY_TARGET_INCLUDE
// Found through the library's src/ directory, which is on its include path.
#define HWY_TARGET_INCLUDE "simd/scale_simd.cc"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>

#include "blur/gaussian.h"
#include "colour/simd_targets.h"
#include "lib/kernels.h"
#include "lib/map_kernels.h"
#include "metric/blur.h"
#include "metric/maps.h"
#include "simd/kernels.h"

HWY_BEFORE_NAMESPACE();
namespace metric::simd {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Internal linkage: other kernel files define helpers of the same names in this namespace.
namespace {

using gaussian::kA;
using gaussian::kB;
using gaussian::kLeftTap;
using gaussian::kRightTap;
using layout::kRingRows;

// Rows of the ring this target uses: its own tile height plus 10 (see BlurBands), so that the
// ring of a 256-bit target takes 18 of the 26 rows it is given and the working set of a plane
// pair stays in the second-level cache. The scalar path takes one row per tile.
#if VELQUON_FUSED_TARGET
constexpr std::size_t kTargetRing = hn::MaxLanes(hn::CappedTag<float, layout::kTileRows>()) + 10;
#else
constexpr std::size_t kTargetRing = 11;
#endif
static_assert(kTargetRing <= kRingRows);

// The carved working memory of one plane (pair) at one width.
struct Buffers {
  std::size_t stride;
  float* rings[layout::kChannels];
  float* states[layout::kChannels];
  float* rows[layout::kChannels];  // kBandRows output rows per channel
  float* zero_row;
  float* line_in;
  float* line_out;
};

Buffers carve(float* base, std::size_t width) {
  float* p = base;
  while (reinterpret_cast<std::uintptr_t>(p) % (layout::kAlign * sizeof(float)) != 0) ++p;
  Buffers b{};
  b.stride = layout::stride(width);
  for (std::size_t c = 0; c < layout::kChannels; ++c) {
    b.rings[c] = p;
    b.states[c] = p + kRingRows * b.stride;
    p += layout::channel_size(width);
    b.rows[c] = p;
    p += layout::kBandRows * b.stride;
  }
  b.zero_row = p;
  p += b.stride;
  b.line_in = p;
  p += layout::line_size(width);
  b.line_out = p;
  return b;
}

// One blur of a plane pair: the row pass reads `a`, or a[i] * b[i] when `b` is set (the product
// planes of the driver, formed on the fly with the same single multiplication).
struct Channel {
  const float* a = nullptr;
  const float* b = nullptr;
  std::size_t in_stride = 0;  // floats from one row of a and b to the next
  float* ring = nullptr;
  float* state = nullptr;
  float* row = nullptr;   // holds the channel's output row when on_row runs
  float* band = nullptr;  // kBandRows rows: the vector path's outputs of one run of steps
  // Vector path: y(n - 1) and y(n - 2) of each term, between runs of column steps.
  float* y1[3] = {};
  float* y2[3] = {};
  // Scalar path: three buffers of three terms, rotated after each step.
  float* prev2 = nullptr;
  float* prev1 = nullptr;
  float* cur = nullptr;
};

float* ring_row(const Channel& ch, std::size_t row, std::size_t stride) {
  return ch.ring + (row % kTargetRing) * stride;
}

// ---------------------------------------------------------------------------------------------
// Scalar kernels of the banded pipeline: the reference line filter, one row per tile, and the
// reference column step over a whole row (a strip of `width` columns).

void ScalarRowTile(const Channel& ch, std::size_t width, std::size_t r, float* tmp,
                   std::size_t stride) {
  const float* src = ch.a + r * ch.in_stride;
  if (ch.b != nullptr) {
    metric::multiply_plane(std::span<const float>(src, width),
                           std::span<const float>(ch.b + r * ch.in_stride, width),
                           std::span<float>(tmp, width));
    src = tmp;
  }
  gaussian::filter_row(std::span<const float>(src, width),
                       std::span<float>(ring_row(ch, r, stride), width));
}

void ScalarColumnStep(Channel& ch, const float* left, const float* right, std::size_t width,
                      float* out) {
  const std::size_t states = 3 * width;
  gaussian::column_step(std::span<const float>(left, width), std::span<const float>(right, width),
                        std::span<const float>(ch.prev2, states),
                        std::span<const float>(ch.prev1, states), std::span<float>(ch.cur, states),
                        out != nullptr ? std::span<float>(out, width) : std::span<float>());
  std::swap(ch.prev2, ch.prev1);
  std::swap(ch.prev1, ch.cur);
}

#if VELQUON_FUSED_TARGET

using DT = hn::CappedTag<float, 8>;  // a transposed tile: one row per lane
using VT = hn::Vec<DT>;
constexpr std::size_t kTile = hn::MaxLanes(DT());
static_assert(kTile == 4 || kTile == 8);

using DF = hn::ScalableTag<float>;  // column pass and map terms: one column per lane
using VF = hn::Vec<DF>;

// Transposes a square tile of kTile vectors in place: v[j] lane i becomes v[i] lane j.
HWY_INLINE void Transpose(DT d, VT (&v)[kTile]) {
  const hn::Repartition<std::uint64_t, DT> d64;
  const auto lo64 = [&](VT a, VT b) HWY_ATTR {
    return hn::BitCast(d, hn::InterleaveLower(hn::BitCast(d64, a), hn::BitCast(d64, b)));
  };
  const auto hi64 = [&](VT a, VT b) HWY_ATTR {
    return hn::BitCast(d, hn::InterleaveUpper(d64, hn::BitCast(d64, a), hn::BitCast(d64, b)));
  };
  if constexpr (kTile == 4) {
    const VT t0 = hn::InterleaveLower(v[0], v[1]);
    const VT t1 = hn::InterleaveUpper(d, v[0], v[1]);
    const VT t2 = hn::InterleaveLower(v[2], v[3]);
    const VT t3 = hn::InterleaveUpper(d, v[2], v[3]);
    v[0] = lo64(t0, t2);
    v[1] = hi64(t0, t2);
    v[2] = lo64(t1, t3);
    v[3] = hi64(t1, t3);
  } else {
    // 4 x 4 transposes inside each 128-bit block, then the blocks swapped across the halves.
    VT t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
      t[i] = hn::InterleaveLower(v[i], v[i + 1]);
      t[i + 1] = hn::InterleaveUpper(d, v[i], v[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {
      u[i] = lo64(t[i], t[i + 2]);
      u[i + 1] = hi64(t[i], t[i + 2]);
      u[i + 2] = lo64(t[i + 1], t[i + 3]);
      u[i + 3] = hi64(t[i + 1], t[i + 3]);
    }
    for (int i = 0; i < 4; ++i) {
      v[i] = hn::ConcatLowerLower(d, u[i + 4], u[i]);
      v[i + 4] = hn::ConcatUpperUpper(d, u[i + 4], u[i]);
    }
  }
}

// The recursion runs on kRows rows at once: two tiles of 8 side by side where vectors hold 16
// floats, one tile elsewhere.
using DR = hn::CappedTag<float, layout::kTileRows>;
using VR = hn::Vec<DR>;
constexpr std::size_t kRows = hn::MaxLanes(DR());
constexpr std::size_t kGroups = kRows / kTile;
static_assert(kRows % kTile == 0 && kRows <= layout::kTileRows);

// f(0), ..., f(N - 1), unrolled, so that a tile's vectors stay in registers.
template <std::size_t... I, class F>
HWY_INLINE void Unrolled(std::index_sequence<I...>, const F& f) {
  (f(I), ...);
}
template <std::size_t N, class F>
HWY_INLINE void Unrolled(const F& f) {
  Unrolled(std::make_index_sequence<N>(), f);
}

// 4 x 4 transposes inside each 128-bit block of a, b, c and e: lane i of block k of the j-th
// vector becomes lane j of block k of the i-th.
HWY_INLINE void TransposeBlocks4(DT d, VT& a, VT& b, VT& c, VT& e) {
  const hn::Repartition<std::uint64_t, DT> d64;
  const VT t0 = hn::InterleaveLower(a, b);
  const VT t1 = hn::InterleaveUpper(d, a, b);
  const VT t2 = hn::InterleaveLower(c, e);
  const VT t3 = hn::InterleaveUpper(d, c, e);
  const auto lo64 = [&](VT u, VT w) HWY_ATTR {
    return hn::BitCast(d, hn::InterleaveLower(hn::BitCast(d64, u), hn::BitCast(d64, w)));
  };
  const auto hi64 = [&](VT u, VT w) HWY_ATTR {
    return hn::BitCast(d, hn::InterleaveUpper(d64, hn::BitCast(d64, u), hn::BitCast(d64, w)));
  };
  a = lo64(t0, t2);
  b = hi64(t0, t2);
  c = lo64(t1, t3);
  e = hi64(t1, t3);
}

// Columns x .. x + 3 of row r0 + j + 4 above those of row r0 + j in v[j], columns x + 4 .. x + 7
// likewise in v[j + 4]. (A function, not a lambda: the compiler would not inline the lambda.)
template <bool kProduct, std::size_t J>
HWY_INLINE void TileInHalves(const Channel& ch, std::size_t r0, std::size_t x, VT* v) {
  const DT d;
  const hn::Half<DT> dh;
  const float* a = ch.a + (r0 + J) * ch.in_stride + x;
  const float* a4 = a + 4 * ch.in_stride;
  auto lo = hn::LoadU(dh, a), hi = hn::LoadU(dh, a4);
  auto lo_right = hn::LoadU(dh, a + 4), hi_right = hn::LoadU(dh, a4 + 4);
  if constexpr (kProduct) {
    const float* b = ch.b + (r0 + J) * ch.in_stride + x;
    const float* b4 = b + 4 * ch.in_stride;
    lo = hn::Mul(lo, hn::LoadU(dh, b));
    hi = hn::Mul(hi, hn::LoadU(dh, b4));
    lo_right = hn::Mul(lo_right, hn::LoadU(dh, b + 4));
    hi_right = hn::Mul(hi_right, hn::LoadU(dh, b4 + 4));
  }
  v[J] = hn::Combine(d, hi, lo);
  v[J + 4] = hn::Combine(d, hi_right, lo_right);
}

// Rows r0 .. r0 + kTile - 1, columns x .. x + kTile - 1, into the line buffer transposed. With
// 8 x 8 tiles the halves of rows j and j + 4 are loaded into one vector, so that the halves of
// the tile need no shuffle across blocks: the block transposes leave column k whole.
template <bool kProduct>
HWY_INLINE void TileIn(const Channel& ch, std::size_t r0, std::size_t x, float* at) {
  const DT d;
  VT v[kTile];
  if constexpr (kTile == 8) {
    TileInHalves<kProduct, 0>(ch, r0, x, v);
    TileInHalves<kProduct, 1>(ch, r0, x, v);
    TileInHalves<kProduct, 2>(ch, r0, x, v);
    TileInHalves<kProduct, 3>(ch, r0, x, v);
    TransposeBlocks4(d, v[0], v[1], v[2], v[3]);
    TransposeBlocks4(d, v[4], v[5], v[6], v[7]);
  } else {
    Unrolled<kTile>([&](std::size_t j) HWY_ATTR {
      const std::size_t i = (r0 + j) * ch.in_stride + x;
      v[j] = hn::LoadU(d, ch.a + i);
      if constexpr (kProduct) v[j] = hn::Mul(v[j], hn::LoadU(d, ch.b + i));
    });
    Transpose(d, v);
  }
  Unrolled<kTile>([&](std::size_t j) HWY_ATTR { hn::Store(v[j], d, at + j * kRows); });
}

// The transposed tile back into its rows of the ring; with 8 x 8 tiles the block transposes
// leave rows j and j + 4 in the halves of vectors j and j + 4, stored half by half.
HWY_INLINE void TileOut(const Channel& ch, const float* at, std::size_t r0, std::size_t x,
                        std::size_t stride) {
  const DT d;
  VT v[kTile];
  Unrolled<kTile>([&](std::size_t j) HWY_ATTR { v[j] = hn::Load(d, at + j * kRows); });
  if constexpr (kTile == 8) {
    const hn::Half<DT> dh;
    TransposeBlocks4(d, v[0], v[1], v[2], v[3]);
    TransposeBlocks4(d, v[4], v[5], v[6], v[7]);
    Unrolled<4>([&](std::size_t j) HWY_ATTR {
      float* top = ring_row(ch, r0 + j, stride) + x;
      float* bottom = ring_row(ch, r0 + j + 4, stride) + x;
      hn::StoreU(hn::LowerHalf(dh, v[j]), dh, top);
      hn::StoreU(hn::LowerHalf(dh, v[j + 4]), dh, top + 4);
      hn::StoreU(hn::UpperHalf(dh, v[j]), dh, bottom);
      hn::StoreU(hn::UpperHalf(dh, v[j + 4]), dh, bottom + 4);
    });
  } else {
    Transpose(d, v);
    Unrolled<kTile>([&](std::size_t i)
                        HWY_ATTR { hn::StoreU(v[i], d, ring_row(ch, r0 + i, stride) + x); });
  }
}

// The row pass of rows r0 .. r0 + kRows - 1 into the channel's ring. Column tiles run left to
// right; the last one is moved left to end at the last column, so that it overlaps the one
// before and rewrites a few values with the same bits. The recursion follows each tile as far as
// its right operands reach, and each finished tile goes back at once, so the transposed lines
// are read and written while they are still in the first-level cache.
template <bool kProduct>
void VectorRowTile(const Channel& ch, std::size_t width, std::size_t r0, float* line_in,
                   float* line_out, std::size_t stride) {
  float* in = line_in + layout::kPadBefore * kRows;  // column n at in[n * kRows]

  const DR d;
  const VR a0 = hn::Set(d, kA[0]), a1 = hn::Set(d, kA[1]), a2 = hn::Set(d, kA[2]);
  const VR b0 = hn::Set(d, kB[0]), b1 = hn::Set(d, kB[1]), b2 = hn::Set(d, kB[2]);
  VR p0 = hn::Zero(d), p1 = hn::Zero(d), p2 = hn::Zero(d);  // y(n - 1)
  VR q0 = hn::Zero(d), q1 = hn::Zero(d), q2 = hn::Zero(d);  // y(n - 2)
  // p = A s, u = p - y(n - 2), y = fused B y(n - 1) + u: the row pass's order.
  const auto step = [&](const float* at) HWY_ATTR {
    const VR s = hn::Add(hn::Load(d, at - kLeftTap * kRows), hn::Load(d, at + kRightTap * kRows));
    const VR y0 = hn::MulAdd(b0, p0, hn::Sub(hn::Mul(a0, s), q0));
    const VR y1 = hn::MulAdd(b1, p1, hn::Sub(hn::Mul(a1, s), q1));
    const VR y2 = hn::MulAdd(b2, p2, hn::Sub(hn::Mul(a2, s), q2));
    q0 = p0, q1 = p1, q2 = p2;
    p0 = y0, p1 = y1, p2 = y2;
    return hn::Add(hn::Add(y0, y1), y2);
  };

  auto n = -static_cast<std::ptrdiff_t>(kRightTap);  // next output column
  std::size_t out_c = 0;                             // next tile to transpose back
  for (std::size_t c = 0; c < width; c += kTile) {
    const std::size_t x = std::min(c, width - kTile);
    for (std::size_t g = 0; g < kGroups; ++g) {
      TileIn<kProduct>(ch, r0 + g * kTile, x, in + x * kRows + g * kTile);
    }
    // Output n needs column n + 4; the padding past the last column is zero.
    const bool last = c + kTile >= width;
    const auto ready = static_cast<std::ptrdiff_t>(last ? width - 1 : x + kTile - 1 - kRightTap);
    for (; n < 0; ++n) step(in + n * static_cast<std::ptrdiff_t>(kRows));
    for (; n <= ready; ++n) {
      hn::Store(step(in + n * static_cast<std::ptrdiff_t>(kRows)), d, line_out + n * kRows);
    }
    for (; out_c < width; out_c += kTile) {
      const std::size_t xo = std::min(out_c, width - kTile);
      if (static_cast<std::ptrdiff_t>(xo + kTile) > n) break;
      for (std::size_t g = 0; g < kGroups; ++g) {
        TileOut(ch, line_out + xo * kRows + g * kTile, r0 + g * kTile, xo, stride);
      }
    }
  }
}

// Column steps of `rows` consecutive rows for one vector of columns from x on, the states in
// registers from the first row to the last: t = fused y(n - 2) - B y(n - 1), y = fused A s - t,
// row after row. Output row k goes to out + k * stride. (Two vectors at once run out of
// registers and are slower.)
HWY_INLINE void ColumnRun(Channel& ch, const float* const* left, const float* const* right,
                          std::size_t rows, float* out, std::size_t stride, std::size_t x) {
  const DF d;
  const VF a0 = hn::Set(d, kA[0]), a1 = hn::Set(d, kA[1]), a2 = hn::Set(d, kA[2]);
  const VF b0 = hn::Set(d, kB[0]), b1 = hn::Set(d, kB[1]), b2 = hn::Set(d, kB[2]);
  VF p0 = hn::Load(d, ch.y1[0] + x), p1 = hn::Load(d, ch.y1[1] + x);  // y(n - 1)
  VF p2 = hn::Load(d, ch.y1[2] + x);
  VF q0 = hn::Load(d, ch.y2[0] + x), q1 = hn::Load(d, ch.y2[1] + x);  // y(n - 2)
  VF q2 = hn::Load(d, ch.y2[2] + x);
  for (std::size_t k = 0; k < rows; ++k) {
    const VF s = hn::Add(hn::Load(d, left[k] + x), hn::Load(d, right[k] + x));
    const VF v0 = hn::MulSub(a0, s, hn::NegMulAdd(b0, p0, q0));
    const VF v1 = hn::MulSub(a1, s, hn::NegMulAdd(b1, p1, q1));
    const VF v2 = hn::MulSub(a2, s, hn::NegMulAdd(b2, p2, q2));
    q0 = p0, q1 = p1, q2 = p2;
    p0 = v0, p1 = v1, p2 = v2;
    hn::Store(hn::Add(hn::Add(v0, v1), v2), d, out + k * stride + x);
  }
  hn::Store(p0, d, ch.y1[0] + x), hn::Store(p1, d, ch.y1[1] + x);
  hn::Store(p2, d, ch.y1[2] + x);
  hn::Store(q0, d, ch.y2[0] + x), hn::Store(q1, d, ch.y2[1] + x);
  hn::Store(q2, d, ch.y2[2] + x);
}

// Column steps n0 ... n0 + rows - 1 of a channel over all columns, one vector of columns after
// another, into the channel's band rows. Columns up to the vector-rounded width are computed;
// the stride holds them.
void VectorColumnRun(Channel& ch, std::ptrdiff_t n0, std::size_t rows, std::size_t width,
                     std::size_t height, const Buffers& buf) {
  const float* left[layout::kBandRows];
  const float* right[layout::kBandRows];
  const auto h = static_cast<std::ptrdiff_t>(height);
  for (std::size_t k = 0; k < rows; ++k) {
    const std::ptrdiff_t n = n0 + static_cast<std::ptrdiff_t>(k);
    left[k] = n >= kLeftTap ? ring_row(ch, n - kLeftTap, buf.stride) : buf.zero_row;
    right[k] = n + kRightTap < h ? ring_row(ch, n + kRightTap, buf.stride) : buf.zero_row;
  }
  const std::size_t lanes = hn::Lanes(DF());
  for (std::size_t x = 0; x < width; x += lanes) {
    ColumnRun(ch, left, right, rows, ch.band, buf.stride, x);
  }
}

#endif  // VELQUON_FUSED_TARGET

// Runs the blur of every channel band by band over a plane of width x height values and calls
// on_row(n) once for each output row n = 0 ... height - 1, in order, when every channel's row n
// sits in its `row` buffer.
//
// Row tiles are taken top to bottom (the last one moved up to end at the last row, rewriting a
// few rows with the same bits). After a tile ending at row e the column steps run up to
// n = e - 5, the last whose lower operand n + 4 exists (or to the end). The next tile
// overwrites the ring slots of rows up to e + T - 1 - R, and the next step still needs row
// e - 10, so the ring needs R > T + 9 rows.
template <bool kVector, class OnRow>
void BlurBands(Channel* channels, std::size_t count, std::size_t width, std::size_t height,
               const Buffers& buf, const OnRow& on_row) {
  const std::size_t stride = buf.stride;
  std::memset(buf.zero_row, 0, stride * sizeof(float));
  for (std::size_t c = 0; c < count; ++c) {
    Channel& ch = channels[c];
    std::memset(ch.state, 0, 9 * stride * sizeof(float));
    // Columns past the width are computed with the rest and never stored: keep them defined.
    for (std::size_t r = 0; r < kTargetRing; ++r) {
      std::memset(ch.ring + r * stride + width, 0, (stride - width) * sizeof(float));
    }
    for (int k = 0; k < 3; ++k) {
      ch.y1[k] = ch.state + k * stride;
      ch.y2[k] = ch.state + (3 + k) * stride;
    }
    ch.prev2 = ch.state;
    ch.prev1 = ch.state + 3 * width;
    ch.cur = ch.state + 6 * width;
  }
  std::size_t tile = 1;
#if VELQUON_FUSED_TARGET
  if constexpr (kVector) {
    tile = kRows;
    std::memset(buf.line_in, 0, layout::line_size(width) * sizeof(float));
  }
#endif

  const auto rows = static_cast<std::ptrdiff_t>(height);
  std::ptrdiff_t n = -kRightTap;
  for (std::size_t r = 0; r < height; r += tile) {
    const std::size_t r0 = std::min(r, height - tile);
    for (std::size_t c = 0; c < count; ++c) {
#if VELQUON_FUSED_TARGET
      if constexpr (kVector) {
        if (channels[c].b != nullptr) {
          VectorRowTile<true>(channels[c], width, r0, buf.line_in, buf.line_out, stride);
        } else {
          VectorRowTile<false>(channels[c], width, r0, buf.line_in, buf.line_out, stride);
        }
        continue;
      }
#endif
      ScalarRowTile(channels[c], width, r0, buf.line_in, stride);
    }
    const auto end = static_cast<std::ptrdiff_t>(r0 + tile);
    const std::ptrdiff_t last = end == rows ? rows - 1 : end - 1 - kRightTap;
#if VELQUON_FUSED_TARGET
    if constexpr (kVector) {
      // The steps up to `last` for one channel after another, then the rows in order.
      if (n > last) continue;
      const auto run = static_cast<std::size_t>(last - n + 1);
      for (std::size_t c = 0; c < count; ++c) {
        VectorColumnRun(channels[c], n, run, width, height, buf);
      }
      for (std::size_t k = 0; k < run; ++k, ++n) {
        if (n < 0) continue;
        for (std::size_t c = 0; c < count; ++c) {
          channels[c].row = channels[c].band + k * stride;
        }
        on_row(static_cast<std::size_t>(n));
      }
      continue;
    }
#endif
    for (; n <= last; ++n) {
      for (std::size_t c = 0; c < count; ++c) {
        Channel& ch = channels[c];
        const float* left = n >= kLeftTap ? ring_row(ch, n - kLeftTap, stride) : buf.zero_row;
        const float* right =
            n + kRightTap < rows ? ring_row(ch, n + kRightTap, stride) : buf.zero_row;
        ScalarColumnStep(ch, left, right, width, n >= 0 ? ch.row : nullptr);
      }
      if (n >= 0) on_row(static_cast<std::size_t>(n));
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Map terms.

#if VELQUON_FUSED_TARGET

// maxNum(v, 0.0): a NaN fails the comparison and gives 0.0, and so do -0 and negatives.
template <class D, class V>
HWY_INLINE V MaxNumZero(D d, V v) {
  return hn::IfThenElseZero(hn::Gt(v, hn::Zero(d)), v);
}

template <class D, class V>
HWY_INLINE V FourthPower(D, V v) {
  const V sq = hn::Mul(v, v);
  return hn::Mul(sq, sq);
}

using DH = hn::Half<DF>;
using DD = hn::Rebind<double, DH>;  // half a float vector's lanes, widened

// A sum and the sum of fourth powers of the same terms, one per lane of a 128-bit vector.
using D2 = hn::Full128<double>;
using V2 = hn::Vec<D2>;

HWY_INLINE V2 LoadPair(double sum, double sum4) {
  HWY_ALIGN const double pair[2] = {sum, sum4};
  return hn::Load(D2(), pair);
}

HWY_INLINE void StorePair(V2 pair, double& sum, double& sum4) {
  HWY_ALIGN double out[2];
  hn::Store(pair, D2(), out);
  sum = out[0];
  sum4 = out[1];
}

// Adds the terms t of consecutive pixels, and their fourth powers t4, pixel after pixel to the
// pair: each lane is still one sum taken in pixel order, with half the additions of one scalar
// add per sum and pixel (the adds, not the latency, bound the map loop).
HWY_INLINE V2 AddTermPairs(DD dd, hn::Vec<DD> t, hn::Vec<DD> t4, V2 pair) {
  constexpr std::size_t kMax = hn::MaxLanes(DD());
  // Pixels 0, 2, 4... and 1, 3, 5..., each as (term, fourth power).
  HWY_ALIGN double even[kMax], odd[kMax];
  hn::Store(hn::InterleaveLower(dd, t, t4), dd, even);
  hn::Store(hn::InterleaveUpper(dd, t, t4), dd, odd);
  for (std::size_t j = 0; j < hn::Lanes(dd); j += 2) {
    pair = hn::Add(pair, hn::Load(D2(), even + j));
    pair = hn::Add(pair, hn::Load(D2(), odd + j));
  }
  return pair;
}

// The SSIM terms of lanes, added to (error, error4).
HWY_INLINE V2 SsimTerms(const float* mu1, const float* mu2, const float* s11, const float* s22,
                        const float* s12, V2 sums) {
  const DF d;
  const DH dh;
  const DD dd;
  const VF m1 = hn::LoadU(d, mu1), m2 = hn::LoadU(d, mu2);
  const VF c2 = hn::Set(d, kSsimC2);
  const VF diff = hn::Sub(m1, m2);
  const VF num_m = hn::NegMulAdd(diff, diff, hn::Set(d, 1.0f));
  const VF num_s = hn::MulAdd(hn::Set(d, 2.0f), hn::Sub(hn::LoadU(d, s12), hn::Mul(m1, m2)), c2);
  const VF den = hn::Add(hn::Add(hn::Sub(hn::LoadU(d, s11), hn::Mul(m1, m1)),
                                 hn::Sub(hn::LoadU(d, s22), hn::Mul(m2, m2))),
                         c2);
  const VF ssim = hn::Div(hn::Mul(num_m, num_s), den);
  const auto one = hn::Set(dd, 1.0);
  const auto lo = MaxNumZero(dd, hn::Sub(one, hn::PromoteTo(dd, hn::LowerHalf(dh, ssim))));
  const auto hi = MaxNumZero(dd, hn::Sub(one, hn::PromoteTo(dd, hn::UpperHalf(dh, ssim))));
  sums = AddTermPairs(dd, lo, FourthPower(dd, lo), sums);
  return AddTermPairs(dd, hi, FourthPower(dd, hi), sums);
}

// The edge terms of lanes, added to (artifact, artifact4) and (detail loss, detail loss4).
HWY_INLINE void EdgeTerms(const float* img1, const float* mu1, const float* img2, const float* mu2,
                          V2& artifacts, V2& details) {
  const DF d;
  const DH dh;
  const DD dd;
  const VF a = hn::Abs(hn::Sub(hn::LoadU(d, img2), hn::LoadU(d, mu2)));
  const VF b = hn::Abs(hn::Sub(hn::LoadU(d, img1), hn::LoadU(d, mu1)));
  const auto one = hn::Set(dd, 1.0);
  const auto halves = [&](auto av, auto bv) HWY_ATTR {
    const auto q =
        hn::Div(hn::Add(hn::PromoteTo(dd, av), one), hn::Add(hn::PromoteTo(dd, bv), one));
    const auto diff = hn::Sub(q, one);
    const auto artifact = MaxNumZero(dd, diff);
    const auto detail = MaxNumZero(dd, hn::Neg(diff));
    artifacts = AddTermPairs(dd, artifact, FourthPower(dd, artifact), artifacts);
    details = AddTermPairs(dd, detail, FourthPower(dd, detail), details);
  };
  halves(hn::LowerHalf(dh, a), hn::LowerHalf(dh, b));
  halves(hn::UpperHalf(dh, a), hn::UpperHalf(dh, b));
}

#endif  // VELQUON_FUSED_TARGET

void SsimRow(const float* mu1, const float* mu2, const float* s11, const float* s22,
             const float* s12, std::size_t width, maps::SsimSums& sums) {
  std::size_t i = 0;
#if VELQUON_FUSED_TARGET
  const std::size_t lanes = hn::Lanes(DF());
  V2 pair = LoadPair(sums.error, sums.error4);
  for (; i + lanes <= width; i += lanes) {
    pair = SsimTerms(mu1 + i, mu2 + i, s11 + i, s22 + i, s12 + i, pair);
  }
  StorePair(pair, sums.error, sums.error4);
#endif
  const std::size_t rest = width - i;
  maps::accumulate_ssim_row({mu1 + i, rest}, {mu2 + i, rest}, {s11 + i, rest}, {s22 + i, rest},
                            {s12 + i, rest}, sums);
}

void EdgeRow(const float* img1, const float* mu1, const float* img2, const float* mu2,
             std::size_t width, maps::EdgeSums& sums) {
  std::size_t i = 0;
#if VELQUON_FUSED_TARGET
  const std::size_t lanes = hn::Lanes(DF());
  V2 artifacts = LoadPair(sums.artifact, sums.artifact4);
  V2 details = LoadPair(sums.detail_loss, sums.detail_loss4);
  for (; i + lanes <= width; i += lanes) {
    EdgeTerms(img1 + i, mu1 + i, img2 + i, mu2 + i, artifacts, details);
  }
  StorePair(artifacts, sums.artifact, sums.artifact4);
  StorePair(details, sums.detail_loss, sums.detail_loss4);
#endif
  const std::size_t rest = width - i;
  maps::accumulate_edge_row({img1 + i, rest}, {mu1 + i, rest}, {img2 + i, rest}, {mu2 + i, rest},
                            sums);
}

// Both maps of one row in one loop: six independent sums, so their latency chains overlap.
void BothRow(const float* img1, const float* img2, const float* const* blurred, std::size_t width,
             PlaneSums& sums) {
  const float* s11 = blurred[0];
  const float* s22 = blurred[1];
  const float* s12 = blurred[2];
  const float* mu1 = blurred[3];
  const float* mu2 = blurred[4];
  std::size_t i = 0;
#if VELQUON_FUSED_TARGET
  const std::size_t lanes = hn::Lanes(DF());
  V2 errors = LoadPair(sums.ssim.error, sums.ssim.error4);
  V2 artifacts = LoadPair(sums.edge.artifact, sums.edge.artifact4);
  V2 details = LoadPair(sums.edge.detail_loss, sums.edge.detail_loss4);
  for (; i + lanes <= width; i += lanes) {
    errors = SsimTerms(mu1 + i, mu2 + i, s11 + i, s22 + i, s12 + i, errors);
    EdgeTerms(img1 + i, mu1 + i, img2 + i, mu2 + i, artifacts, details);
  }
  StorePair(errors, sums.ssim.error, sums.ssim.error4);
  StorePair(artifacts, sums.edge.artifact, sums.edge.artifact4);
  StorePair(details, sums.edge.detail_loss, sums.edge.detail_loss4);
#endif
  const std::size_t rest = width - i;
  maps::accumulate_ssim_row({mu1 + i, rest}, {mu2 + i, rest}, {s11 + i, rest}, {s22 + i, rest},
                            {s12 + i, rest}, sums.ssim);
  maps::accumulate_edge_row({img1 + i, rest}, {mu1 + i, rest}, {img2 + i, rest}, {mu2 + i, rest},
                            sums.edge);
}

template <bool kVector>
void PlaneSumsBands(const float* img1, const float* img2, std::size_t width, std::size_t height,
                    std::size_t in_stride, const Buffers& buf, PlaneSums& sums) {
  // s11, s22, s12, mu1, mu2: the driver's five blurs, in its order.
  Channel channels[layout::kChannels] = {
      {.a = img1, .b = img1},    {.a = img2, .b = img2},    {.a = img1, .b = img2},
      {.a = img1, .b = nullptr}, {.a = img2, .b = nullptr},
  };
  for (std::size_t c = 0; c < layout::kChannels; ++c) {
    channels[c].in_stride = in_stride;
    channels[c].ring = buf.rings[c];
    channels[c].state = buf.states[c];
    channels[c].row = buf.rows[c];
    channels[c].band = buf.rows[c];
  }
  BlurBands<kVector>(channels, layout::kChannels, width, height, buf, [&](std::size_t n) HWY_ATTR {
    const float* blurred[layout::kChannels];
    for (std::size_t c = 0; c < layout::kChannels; ++c) blurred[c] = channels[c].row;
    BothRow(img1 + n * in_stride, img2 + n * in_stride, blurred, width, sums);
  });
}

}  // namespace

void BlurPlane(const float* in, float* out, std::size_t width, std::size_t height, float* scratch) {
#if VELQUON_FUSED_TARGET
  if (width >= kTile && height >= kRows) {
    auto work = colour::Vec<float>::with_capacity(layout::total_size(width));
    const Buffers buf = carve(work.data(), width);
    Channel ch{.a = in,
               .b = nullptr,
               .in_stride = width,
               .ring = buf.rings[0],
               .state = buf.states[0],
               .row = buf.rows[0],
               .band = buf.rows[0]};
    BlurBands<true>(&ch, 1, width, height, buf, [&](std::size_t n) HWY_ATTR {
      std::memcpy(out + n * width, ch.row, width * sizeof(float));
    });
    return;
  }
#endif
  const std::size_t n = width * height;
  blur_rows({in, n}, {scratch, n}, width);
  blur_columns({scratch, n}, {out, n}, width, height);
}

void AccumulateSsimRow(const float* mu1, const float* mu2, const float* s11, const float* s22,
                       const float* s12, std::size_t width, maps::SsimSums* sums) {
  SsimRow(mu1, mu2, s11, s22, s12, width, *sums);
}

void AccumulateEdgeRow(const float* img1, const float* mu1, const float* img2, const float* mu2,
                       std::size_t width, maps::EdgeSums* sums) {
  EdgeRow(img1, mu1, img2, mu2, width, *sums);
}

void PlaneSumsOf(const float* img1, const float* img2, std::size_t width, std::size_t height,
                 std::size_t in_stride, float* work, PlaneSums* sums) {
  const Buffers buf = carve(work, width);
#if VELQUON_FUSED_TARGET
  if (width >= kTile && height >= kRows) {
    PlaneSumsBands<true>(img1, img2, width, height, in_stride, buf, *sums);
    return;
  }
#endif
  PlaneSumsBands<false>(img1, img2, width, height, in_stride, buf, *sums);
}

void RowPassOnly(const float* in, std::size_t width, std::size_t height, float* work) {
  const Buffers buf = carve(work, width);
  Channel ch{.a = in, .in_stride = width, .ring = buf.rings[0]};
#if VELQUON_FUSED_TARGET
  if (width >= kTile && height >= kRows) {
    std::memset(buf.line_in, 0, layout::line_size(width) * sizeof(float));
    for (std::size_t r = 0; r < height; r += kRows) {
      VectorRowTile<false>(ch, width, std::min(r, height - kRows), buf.line_in, buf.line_out,
                           buf.stride);
    }
    return;
  }
#endif
  for (std::size_t r = 0; r < height; ++r) ScalarRowTile(ch, width, r, buf.line_in, buf.stride);
}

void ColumnPassOnly(std::size_t width, std::size_t height, float* work) {
  const Buffers buf = carve(work, width);
  Channel ch{.ring = buf.rings[0], .state = buf.states[0], .row = buf.rows[0], .band = buf.rows[0]};
  std::memset(ch.state, 0, 9 * buf.stride * sizeof(float));
  std::memset(ch.ring, 0, kTargetRing * buf.stride * sizeof(float));
  std::memset(buf.zero_row, 0, buf.stride * sizeof(float));
  for (int k = 0; k < 3; ++k) {
    ch.y1[k] = ch.state + k * buf.stride;
    ch.y2[k] = ch.state + (3 + k) * buf.stride;
  }
  ch.prev2 = ch.state;
  ch.prev1 = ch.state + 3 * width;
  ch.cur = ch.state + 6 * width;
  const auto rows = static_cast<std::ptrdiff_t>(height);
#if VELQUON_FUSED_TARGET
  for (std::ptrdiff_t n = -kRightTap; n < rows; n += static_cast<std::ptrdiff_t>(kRows)) {
    const auto run = static_cast<std::size_t>(std::min<std::ptrdiff_t>(kRows, rows - n));
    VectorColumnRun(ch, n, run, width, height, buf);
  }
  return;
#endif
  for (std::ptrdiff_t n = -kRightTap; n < rows; ++n) {
    const float* left = n >= kLeftTap ? ring_row(ch, n - kLeftTap, buf.stride) : buf.zero_row;
    const float* right =
        n + kRightTap < rows ? ring_row(ch, n + kRightTap, buf.stride) : buf.zero_row;
    ScalarColumnStep(ch, left, right, width, ch.row);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace metric::simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace metric::simd {

HWY_EXPORT(BlurPlane);
HWY_EXPORT(AccumulateSsimRow);
HWY_EXPORT(AccumulateEdgeRow);
HWY_EXPORT(PlaneSumsOf);

void blur_plane(std::span<const float> in, std::span<float> out, std::uint64_t width,
                std::uint64_t height, std::span<float> scratch) {
  colour::assert_equal(in.size(), width * height);
  colour::assert_equal(out.size(), width * height);
  colour::assert_equal(scratch.size(), width * height);
  HWY_DYNAMIC_DISPATCH(BlurPlane)(in.data(), out.data(), width, height, scratch.data());
}

void accumulate_ssim_row(std::span<const float> mu1, std::span<const float> mu2,
                         std::span<const float> s11, std::span<const float> s22,
                         std::span<const float> s12, maps::SsimSums& sums) {
  HWY_DYNAMIC_DISPATCH(AccumulateSsimRow)
  (mu1.data(), mu2.data(), s11.data(), s22.data(), s12.data(), mu1.size(), &sums);
}

void accumulate_edge_row(std::span<const float> img1, std::span<const float> mu1,
                         std::span<const float> img2, std::span<const float> mu2,
                         maps::EdgeSums& sums) {
  HWY_DYNAMIC_DISPATCH(AccumulateEdgeRow)
  (img1.data(), mu1.data(), img2.data(), mu2.data(), img1.size(), &sums);
}

HWY_EXPORT(RowPassOnly);
HWY_EXPORT(ColumnPassOnly);

void row_pass_only(std::span<const float> plane, std::uint64_t width, std::uint64_t height,
                   PlaneWork& work) {
  if (width > work.max_width()) colour::fail_invariant("plane wider than its working memory");
  colour::assert_equal(plane.size(), width * height);
  HWY_DYNAMIC_DISPATCH(RowPassOnly)(plane.data(), width, height, work.data());
}

void column_pass_only(std::uint64_t width, std::uint64_t height, PlaneWork& work) {
  if (width > work.max_width()) colour::fail_invariant("plane wider than its working memory");
  HWY_DYNAMIC_DISPATCH(ColumnPassOnly)(width, height, work.data());
}

PlaneWork::PlaneWork(std::uint64_t max_width)
    : max_width_(max_width), buffer_(colour::Vec<float>::zeroed(layout::total_size(max_width))) {}

PlaneSums plane_sums(std::span<const float> img1, std::span<const float> img2, std::uint64_t width,
                     std::uint64_t height, std::uint64_t row_stride, PlaneWork& work) {
  if (width > work.max_width()) colour::fail_invariant("plane wider than its working memory");
  if (row_stride < width) colour::fail_invariant("plane rows overlap");
  PlaneSums sums;
  if (width == 0 || height == 0) return sums;
  // Every row read lies inside both spans.
  const std::uint64_t extent = (height - 1) * row_stride + width;
  if (img1.size() < extent || img2.size() < extent)
    colour::fail_invariant("plane exceeds its buffer");
  HWY_DYNAMIC_DISPATCH(PlaneSumsOf)
  (img1.data(), img2.data(), width, height, row_stride, work.data(), &sums);
  return sums;
}

}  // namespace metric::simd
#endif  // HWY_ONCE
