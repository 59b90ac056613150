#include "metric/ssimulacra2.h"

#include <optional>
#include <span>
#include <utility>

#include "colour/invariant.h"
#include "colour/linear_rgb.h"
#include "colour/pixel_buffer.h"
#include "lib/large_pages.h"
#include "lib/map_kernels.h"
#include "lib/pyramid.h"
#include "metric/plane.h"
#include "metric/score.h"
#include "simd/kernels.h"

namespace metric {

namespace {

constexpr int kMaxScales = 6;
constexpr std::uint64_t kMinSize = 8;

// The buffer of a halved frame of n pixels: `spare` (a buffer of the scale before last) when it
// holds enough pixels, else fresh memory.
colour::PixelBuffer halved_buffer(colour::PixelBuffer spare, std::uint64_t n) {
  if (spare.size() < n) {
    auto fresh = colour::PixelBuffer::zeroed_to_fill(n);
    prefer_large_pages(fresh.data(), fresh.size() * sizeof(colour::Pixel));
    return fresh;
  }
  spare.truncate(n);
  return spare;
}

colour::LinearRgb halved_frame(colour::PixelBuffer data, std::uint64_t width,
                               std::uint64_t height) {
  auto frame = colour::LinearRgb::create(std::move(data), width, height);
  if (!frame) colour::fail_invariant("a halved frame holds its pixels");
  return std::move(*frame);
}

}  // namespace

// Each scale goes plane by plane: the products, the five blurs and the terms of both maps of a
// plane run together band by band, so that the blurred planes never exist whole and a plane's
// data stays in cache from its products to its sums. The accumulators of each plane are its
// own, and each still adds its pixels in row-major order, so the statistics are bit for bit
// those of multiplying, blurring and mapping whole planes one step after another.
//
// Memory: each frame's own buffer is turned into its three XYB planes row by row (the rows y
// of the X, Y and B planes where pixel row y was), each pair of rows halved for the next scale
// just before. The halved frames of the second scale are the only fresh memory; later ones
// reuse the buffers of the scale before the last.
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

    const std::uint64_t ow = w / 2 + (w & 1);
    const std::uint64_t oh = h / 2 + (h & 1);
    std::optional<colour::PixelBuffer> next_source;
    std::optional<colour::PixelBuffer> next_distorted;
    if (!last) {
      next_source = halved_buffer(std::move(spare_source), plane_length(ow, oh));
      next_distorted = halved_buffer(std::move(spare_distorted), plane_length(ow, oh));
    }
    simd::halve_and_make_xyb_rows(source.data.span(), w, h,
                                  next_source ? next_source->data() : nullptr, row.span());
    simd::halve_and_make_xyb_rows(distorted.data.span(), w, h,
                                  next_distorted ? next_distorted->data() : nullptr, row.span());

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
    source = halved_frame(std::move(*next_source), ow, oh);
    distorted = halved_frame(std::move(*next_distorted), ow, oh);
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
