#include "metric/ssimulacra2.h"

#include <utility>

#include "colour/invariant.h"
#include "colour/linear_rgb.h"
#include "colour/pixel_buffer.h"
#include "colour/xyb.h"
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

// The XYB planes of a linear frame, shifted to positive values; the XYB copy lives only for
// the split.
PlaneTriple positive_xyb_planes(const colour::LinearRgb& frame) {
  const colour::Xyb xyb = colour::Xyb::from(frame.clone());
  PlaneTriple planes = PlaneTriple::zeroed(xyb.data.size());
  simd::shift_and_split(xyb.data.span(), planes[0].span(), planes[1].span(), planes[2].span());
  return planes;
}

}  // namespace

// Each scale goes plane by plane: the products, the five blurs and the terms of both maps of a
// plane run together band by band, so that the blurred planes never exist whole and a plane's
// data stays in cache from its products to its sums. The accumulators of each plane are its
// own, and each still adds its pixels in row-major order, so the statistics are bit for bit
// those of multiplying, blurring and mapping whole planes one step after another.
Msssim collect_scale_stats(colour::LinearRgb source, colour::LinearRgb distorted,
                           colour::Vec<ScaleSize>* sizes) {
  // Allocated once for the widest scale and reused by every plane of every scale.
  simd::PlaneWork work(source.width);
  Msssim msssim;

  for (int k = 1;; ++k) {
    if (k > 1) {
      source = downscale_by_2(source);
      distorted = downscale_by_2(distorted);
    }
    const std::uint64_t w = source.width;
    const std::uint64_t h = distorted.height;
    colour::assert_equal(source.data.size(), plane_length(w, h));
    colour::assert_equal(distorted.data.size(), plane_length(w, h));

    PlaneTriple img1 = positive_xyb_planes(source);
    PlaneTriple img2 = positive_xyb_planes(distorted);
    maps::SsimSums ssim[3];
    maps::EdgeSums edge[3];
    for (std::size_t c = 0; c < 3; ++c) {
      const simd::PlaneSums sums = simd::plane_sums(img1[c].span(), img2[c].span(), w, h, work);
      ssim[c] = sums.ssim;
      edge[c] = sums.edge;
      // Nothing reads the plane pair again.
      img1[c] = colour::Vec<float>();
      img2[c] = colour::Vec<float>();
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
