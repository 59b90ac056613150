#pragma once

// The metric's vectorised loops. Each picks the best vector target of the running CPU once and
// gives exactly the bits of its scalar reference on every target; on targets without a true
// fused multiply-add the scalar reference itself runs.

#include <cstddef>
#include <cstdint>
#include <span>

#include "colour/pixel_buffer.h"
#include "colour/vec.h"
#include "lib/map_kernels.h"

namespace metric::simd {

// Blurs a plane of width x height values (both at least 1) into `out`, with exactly the values
// of blur_rows into `scratch` followed by blur_columns. The vector path keeps only a band of
// rows and may leave `scratch` as it was.
void blur_plane(std::span<const float> in, std::span<float> out, std::uint64_t width,
                std::uint64_t height, std::span<float> scratch);

// accumulate_ssim_row and accumulate_edge_row with the terms computed in vectors; the sums
// still gain one pixel after another.
void accumulate_ssim_row(std::span<const float> mu1, std::span<const float> mu2,
                         std::span<const float> s11, std::span<const float> s22,
                         std::span<const float> s12, maps::SsimSums& sums);
void accumulate_edge_row(std::span<const float> img1, std::span<const float> mu1,
                         std::span<const float> img2, std::span<const float> mu2,
                         maps::EdgeSums& sums);

// Working memory of plane_sums for planes up to a given width, allocated once and reused for
// every plane and scale.
class PlaneWork {
 public:
  explicit PlaneWork(std::uint64_t max_width);
  std::uint64_t max_width() const { return max_width_; }
  float* data() { return buffer_.data(); }

 private:
  std::uint64_t max_width_;
  colour::Vec<float> buffer_;
};

struct PlaneSums {
  maps::SsimSums ssim;
  maps::EdgeSums edge;
};

// The SSIM and edge sums of one plane pair (source `img1`, distorted `img2`, height rows of
// width values each, row y beginning at value y x row_stride, width at most work.max_width()):
// the three products and the two planes are blurred band by band and each row's terms are
// added as soon as its five blurred rows exist. The sums equal those of ssim_map and
// edge_diff_map over the blurred planes bit for bit.
PlaneSums plane_sums(std::span<const float> img1, std::span<const float> img2, std::uint64_t width,
                     std::uint64_t height, std::uint64_t row_stride, PlaneWork& work);

// For the benchmarks only: the row pass of a whole plane into the band of rows of plane_sums
// (whose values are overwritten as the band moves on), and the column pass of height rows over
// that band, so that each pass can be timed on its own.
void row_pass_only(std::span<const float> plane, std::uint64_t width, std::uint64_t height,
                   PlaneWork& work);
void column_pass_only(std::uint64_t width, std::uint64_t height, PlaneWork& work);

// shift_xyb_positive of every pixel followed by the split into three planes of pixels.size()
// values each.
void shift_and_split(std::span<const colour::Pixel> pixels, std::span<float> x, std::span<float> y,
                     std::span<float> b);

// xyb_pixel of every linear pixel, then as shift_and_split: the planes of the positive XYB frame
// that Xyb::from and shift_and_split make, without that frame.
void positive_xyb_planes(std::span<const colour::Pixel> linear, std::span<float> x,
                         std::span<float> y, std::span<float> b);

// The same values in place: row y of a width x height frame becomes the rows y of its three
// positive XYB planes, one after another (plane c's row y then begins at float (3 y + c) x
// width). When `halved` is not null, each pair of rows is first averaged into `halved` as
// downscale_by_2 does, so that every row is read from memory once. `row` is scratch of at
// least 3 x width floats.
void halve_and_make_xyb_rows(std::span<colour::Pixel> frame, std::uint64_t width,
                             std::uint64_t height, colour::Pixel* halved, std::span<float> row);

// multiply_plane: out[i] = a[i] * b[i] below the shortest length.
void multiply_plane(std::span<const float> a, std::span<const float> b, std::span<float> out);

// One output row of downscale_by_2 from source rows `row0` and `row1` (equal for an odd last
// row) of `width` pixels into `out` of (width + 1) / 2 pixels.
void downscale_row(const colour::Pixel* row0, const colour::Pixel* row1, std::size_t width,
                   colour::Pixel* out);

}  // namespace metric::simd
