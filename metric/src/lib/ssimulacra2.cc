#include "metric/ssimulacra2.h"

#include <algorithm>
#include <optional>
#include <span>
#include <utility>

#include "colour/invariant.h"
#include "colour/linear_rgb.h"
#include "colour/pixel_buffer.h"
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

// downscale_by_2 into `spare` when it holds enough pixels (a buffer of the scale before last),
// else into fresh memory.
colour::LinearRgb halve_into(const colour::LinearRgb& frame, colour::PixelBuffer spare) {
  const std::uint64_t ow = frame.width / 2 + (frame.width & 1);
  const std::uint64_t oh = frame.height / 2 + (frame.height & 1);
  const std::uint64_t n = plane_length(ow, oh);
  if (spare.size() < n) return downscale_by_2(frame);
  for (std::uint64_t oy = 0; oy < oh && frame.width != 0; ++oy) {
    const std::uint64_t y0 = std::min(2 * oy, frame.height - 1);
    const std::uint64_t y1 = std::min(2 * oy + 1, frame.height - 1);
    simd::downscale_row(frame.data.data() + y0 * frame.width, frame.data.data() + y1 * frame.width,
                        frame.width, spare.data() + oy * ow);
  }
  spare.truncate(n);
  auto halved = colour::LinearRgb::create(std::move(spare), ow, oh);
  if (!halved) colour::fail_invariant("a halved frame holds its pixels");
  return std::move(*halved);
}

}  // namespace

// Each scale goes plane by plane: the products, the five blurs and the terms of both maps of a
// plane run together band by band, so that the blurred planes never exist whole and a plane's
// data stays in cache from its products to its sums. The accumulators of each plane are its
// own, and each still adds its pixels in row-major order, so the statistics are bit for bit
// those of multiplying, blurring and mapping whole planes one step after another.
//
// Memory: each frame is halved first, then its own buffer is turned into its three XYB planes
// row by row (the rows y of the X, Y and B planes where pixel row y was). The halved frames of
// the second scale are the only fresh memory; later ones reuse the buffers of the scale before
// the last.
Msssim collect_scale_stats(colour::LinearRgb source, colour::LinearRgb distorted,
                           colour::Vec<ScaleSize>* sizes) {
  simd::PlaneWork work(source.width);
  auto row = colour::Vec<float>::zeroed(3 * source.width);
  colour::PixelBuffer spare_source;
  colour::PixelBuffer spare_distorted;
  Msssim msssim;

  for (int k = 1;; ++k) {
    const std::uint64_t w = source.width;
    const std::uint64_t h = distorted.height;
    const std::uint64_t n = plane_length(w, h);
    colour::assert_equal(source.data.size(), n);
    colour::assert_equal(distorted.data.size(), n);
    // Decided on this scale, so the last scale can be 4 pixels in a dimension.
    const bool last = k == kMaxScales || w < kMinSize || h < kMinSize;

    std::optional<colour::LinearRgb> next_source;
    std::optional<colour::LinearRgb> next_distorted;
    if (!last) {
      next_source = halve_into(source, std::move(spare_source));
      next_distorted = halve_into(distorted, std::move(spare_distorted));
    }
    simd::positive_xyb_rows_in_place(source.data.span(), w, h, row.span());
    simd::positive_xyb_rows_in_place(distorted.data.span(), w, h, row.span());

    const std::span<const float> img1 = colour::flat(source.data);
    const std::span<const float> img2 = colour::flat(distorted.data);
    maps::SsimSums ssim[3];
    maps::EdgeSums edge[3];
    for (std::size_t c = 0; c < 3; ++c) {
      const simd::PlaneSums sums =
          simd::plane_sums(img1.subspan(c * w), img2.subspan(c * w), w, h, 3 * w, work);
      ssim[c] = sums.ssim;
      edge[c] = sums.edge;
    }
    msssim.scale_stats.push_back(ScaleStats{
        .ssim_norms = maps::ssim_norms(ssim, w, h),
        .edge_norms = maps::edge_norms(edge, w, h),
    });
    if (sizes != nullptr) sizes->push_back(ScaleSize{w, h});

    if (last) break;
    spare_source = std::move(source.data);
    spare_distorted = std::move(distorted.data);
    source = std::move(*next_source);
    distorted = std::move(*next_distorted);
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
