#include "metric/ssimulacra2.h"

#include <cstring>
#include <utility>

#include "colour/invariant.h"
#include "colour/linear_rgb.h"
#include "colour/pixel_buffer.h"
#include "colour/xyb.h"
#include "lib/large_pages.h"
#include "lib/map_kernels.h"
#include "lib/pyramid.h"
#include "metric/downscale.h"
#include "metric/plane.h"
#include "metric/score.h"
#include "simd/kernels.h"

namespace metric {

namespace {

constexpr int kMaxScales = 6;
constexpr std::uint64_t kMinSize = 8;

// Converts a copy of `frame` to XYB and writes its values, shifted to positive ranges, into the
// first width x height values of `planes`. The copy is made in `spare`, whose storage is
// reused for every conversion of the call (its length only ever shrinks with the scales), and
// handed back there afterwards.
void positive_xyb_planes(const colour::LinearRgb& frame, colour::PixelBuffer& spare,
                         PlaneTriple& planes) {
  const std::size_t n = frame.data.size();
  spare.truncate(n);
  std::memcpy(spare.data(), frame.data.data(), n * sizeof(colour::Pixel));
  auto copy = colour::LinearRgb::create(std::move(spare), frame.width, frame.height);
  if (!copy) colour::fail_invariant("a copy of a valid frame is valid");
  colour::Xyb xyb = colour::Xyb::from(std::move(*copy));
  simd::shift_and_split(xyb.data.span(), planes[0].span().first(n), planes[1].span().first(n),
                        planes[2].span().first(n));
  spare = std::move(xyb.data);
}

}  // namespace

// Each scale goes plane by plane: the products, the five blurs and the terms of both maps of a
// plane run together band by band, so that the blurred planes never exist whole and a plane's
// data stays in cache from its products to its sums. The accumulators of each plane are its
// own, and each still adds its pixels in row-major order, so the statistics are bit for bit
// those of multiplying, blurring and mapping whole planes one step after another.
Msssim collect_scale_stats(colour::LinearRgb source, colour::LinearRgb distorted,
                           colour::Vec<ScaleSize>* sizes) {
  // Allocated once for the first (largest) scale; later scales use their beginnings.
  const std::uint64_t n0 = plane_length(source.width, distorted.height);
  simd::PlaneWork work(source.width);
  PlaneTriple img1 = PlaneTriple::zeroed(n0);
  PlaneTriple img2 = PlaneTriple::zeroed(n0);
  auto spare = colour::PixelBuffer::zeroed(n0);
  prefer_large_pages(spare.data(), n0 * sizeof(colour::Pixel));
  for (PlaneTriple* planes : {&img1, &img2}) {
    for (colour::Vec<float>& plane : planes->planes) {
      prefer_large_pages(plane.data(), n0 * sizeof(float));
    }
  }
  Msssim msssim;

  for (int k = 1;; ++k) {
    if (k > 1) {
      source = downscale_by_2(source);
      distorted = downscale_by_2(distorted);
    }
    const std::uint64_t w = source.width;
    const std::uint64_t h = distorted.height;
    const std::uint64_t n = plane_length(w, h);
    colour::assert_equal(source.data.size(), n);
    colour::assert_equal(distorted.data.size(), n);

    positive_xyb_planes(source, spare, img1);
    positive_xyb_planes(distorted, spare, img2);
    maps::SsimSums ssim[3];
    maps::EdgeSums edge[3];
    for (std::size_t c = 0; c < 3; ++c) {
      const simd::PlaneSums sums =
          simd::plane_sums(img1[c].span().first(n), img2[c].span().first(n), w, h, work);
      ssim[c] = sums.ssim;
      edge[c] = sums.edge;
    }
    msssim.scale_stats.push_back(ScaleStats{
        .ssim_norms = maps::ssim_norms(ssim, w, h),
        .edge_norms = maps::edge_norms(edge, w, h),
    });
    if (sizes != nullptr) sizes->push_back(ScaleSize{w, h});

    // Decided on the scale just recorded, so the last scale can be 4 pixels in a dimension.
    if (k == kMaxScales || w < kMinSize || h < kMinSize) break;
  }
  return msssim;
}

std::expected<double, Ssimulacra2Error> compute_frame_ssimulacra2(colour::Rgb source,
                                                                  colour::Rgb distorted) {
  // The distorted frame is not converted when the source fails; it is released on return.
  auto linear_source = colour::LinearRgb::try_from(std::move(source));
  if (!linear_source) return std::unexpected(Ssimulacra2Error::LinearRgbConversionFailed);
  auto linear_distorted = colour::LinearRgb::try_from(std::move(distorted));
  if (!linear_distorted) return std::unexpected(Ssimulacra2Error::LinearRgbConversionFailed);

  if (linear_source->width != linear_distorted->width ||
      linear_source->height != linear_distorted->height) {
    return std::unexpected(Ssimulacra2Error::NonMatchingImageDimensions);
  }
  if (linear_distorted->width < kMinSize || linear_distorted->height < kMinSize) {
    return std::unexpected(Ssimulacra2Error::InvalidImageSize);
  }
  const Msssim msssim =
      collect_scale_stats(std::move(*linear_source), std::move(*linear_distorted));
  return msssim.score();
}

}  // namespace metric
