#include "blur/gaussian.h"

#include <cmath>
#include <utility>

#include "colour/invariant.h"
#include "colour/vec.h"
#include "metric/blur.h"

namespace metric {
namespace gaussian {

void filter_row(std::span<const float> in, std::span<float> out) {
  const auto len = static_cast<std::ptrdiff_t>(in.size());
  float y1[kTerms] = {0.0f, 0.0f, 0.0f};  // state at n - 1
  float y2[kTerms] = {0.0f, 0.0f, 0.0f};  // state at n - 2
  // n starts at -4 so that the states are primed from in[0..3] before the first output.
  for (std::ptrdiff_t n = -kRightTap; n < len; ++n) {
    const float left = n >= kLeftTap ? in[n - kLeftTap] : 0.0f;
    const float right = n + kRightTap < len ? in[n + kRightTap] : 0.0f;
    const float s = left + right;
    float y[kTerms];
    for (int k = 0; k < kTerms; ++k) {
      const float p = kA[k] * s;
      const float u = p - y2[k];
      y[k] = std::fma(kB[k], y1[k], u);
      y2[k] = y1[k];
      y1[k] = y[k];
    }
    if (n >= 0) out[n] = (y[0] + y[1]) + y[2];
  }
}

void column_step(std::span<const float> left, std::span<const float> right,
                 std::span<const float> prev2, std::span<const float> prev1, std::span<float> cur,
                 std::span<float> out) {
  const std::size_t strip = left.size();
  for (std::size_t j = 0; j < strip; ++j) {
    const float s = left[j] + right[j];
    float y[kTerms];
    for (int k = 0; k < kTerms; ++k) {
      const std::size_t i = k * strip + j;
      // y(n-2) - B y(n-1) in one rounding, then A s minus that in one more: the column pass
      // rounds differently from the row pass, and the difference reaches the score.
      const float t = std::fma(-kB[k], prev1[i], prev2[i]);
      y[k] = std::fma(kA[k], s, -t);
      cur[i] = y[k];
    }
    if (!out.empty()) out[j] = (y[0] + y[1]) + y[2];
  }
}

}  // namespace gaussian

namespace {

// Filters columns [x, x + strip) of `in` into `out`, all rows at once.
void blur_strip(std::span<const float> in, std::span<float> out, std::size_t width,
                std::size_t height, std::size_t x, std::size_t strip) {
  const auto zeros = colour::Vec<float>::zeroed(strip);
  auto prev2 = colour::Vec<float>::zeroed(3 * strip);
  auto prev1 = colour::Vec<float>::zeroed(3 * strip);
  auto cur = colour::Vec<float>::zeroed(3 * strip);
  const auto rows = static_cast<std::ptrdiff_t>(height);
  for (std::ptrdiff_t n = -gaussian::kRightTap; n < rows; ++n) {
    std::span<const float> left = zeros.span();
    std::span<const float> right = zeros.span();
    if (n >= gaussian::kLeftTap) {
      left = in.subspan((n - gaussian::kLeftTap) * width + x, strip);
    }
    if (n + gaussian::kRightTap < rows) {
      right = in.subspan((n + gaussian::kRightTap) * width + x, strip);
    }
    std::span<float> target;
    if (n >= 0) target = out.subspan(n * width + x, strip);
    gaussian::column_step(left, right, prev2.span(), prev1.span(), cur.span(), target);
    // The state before the previous takes the previous, the previous takes the current; the
    // oldest buffer is overwritten next.
    std::swap(prev2, prev1);
    std::swap(prev1, cur);
  }
}

}  // namespace

void blur_rows(std::span<const float> in, std::span<float> out, std::uint64_t width) {
  colour::assert_equal(in.size(), out.size());
  if (width == 0) colour::fail_invariant("chunk size must be non-zero");
  const std::size_t rows = in.size() / width;
  for (std::size_t r = 0; r < rows; ++r) {
    gaussian::filter_row(in.subspan(r * width, width), out.subspan(r * width, width));
  }
}

void blur_columns(std::span<const float> in, std::span<float> out, std::uint64_t width,
                  std::uint64_t height) {
  const std::uint64_t n = plane_length(width, height);
  colour::assert_equal(in.size(), n);
  colour::assert_equal(out.size(), n);
  // The strip width only decides how many columns move together; every column comes out as if
  // filtered alone.
  std::size_t x = 0;
  for (const std::size_t strip : {std::size_t{128}, std::size_t{32}, std::size_t{1}}) {
    for (; x + strip <= width; x += strip) blur_strip(in, out, width, height, x, strip);
  }
}

}  // namespace metric
