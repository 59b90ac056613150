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
  if (spare.size() < n) return colour::PixelBuffer::zeroed_to_fill(n);
  spare.truncate(n);
  return spare;
}

// Linearises the band (first scale only), halves it for the next scale and turns it into
// XYB planes, band by band, so that each band is read from memory once and converted while in
// cache. The bands have an even number of rows, so no pair of rows straddles two of them.
void prepare_frame(colour::PixelBuffer& frame, std::uint64_t width, std::uint64_t height,
                   const colour::LinearConversion* conversion, colour::PixelBuffer* halved,
                   std::span<float> row) {
  constexpr std::uint64_t kBandRows = 16;
  const std::uint64_t halved_width = half_up(width);
  for (std::uint64_t y = 0; y < height; y += kBandRows) {
    const std::uint64_t rows = std::min(kBandRows, height - y);
    const std::span<colour::Pixel> band = frame.span().subspan(y * width, rows * width);
    if (conversion != nullptr) conversion->apply(band);
    simd::halve_and_make_xyb_rows(
        band, width, rows, halved != nullptr ? halved->data() + y / 2 * halved_width : nullptr,
        row);
  }
}

// Each scale goes plane by plane: the products, the five blurs and the terms of both maps of a
// plane run together band by band, so that the blurred planes never exist whole and a plane's
// data stays in cache from its products to its sums. The accumulators of each plane are its
// own, and each still adds its pixels in row-major order, so the statistics are bit for bit
// those of multiplying, blurring and mapping whole planes one step after another.
//
// Memory: each frame's own buffer is turned into its three XYB planes row by row (the rows y
// of the X, Y and B planes where pixel row y was), each pair of rows halved for the next scale
// just before. The halved frames of the second scale are the only fresh memory; later ones
// reuse the buffers of the scale before the last. Frames of the first scale are linearised
// band by band just before (when conversions are given), with the bits of converting them
// whole.
Msssim pyramid_stats(colour::PixelBuffer source, colour::PixelBuffer distorted, std::uint64_t w,
                     std::uint64_t h, const colour::LinearConversion* first_source,
                     const colour::LinearConversion* first_distorted,
                     colour::Vec<ScaleSize>* sizes) {
  simd::PlaneWork work(w);
  auto row = colour::Vec<float>::zeroed(3 * w);
  colour::PixelBuffer spare_source;
  colour::PixelBuffer spare_distorted;
  Msssim msssim;

  for (int k = 1;; ++k) {
    const std::uint64_t n = plane_length(w, h);
    colour::assert_equal(source.size(), n);
    colour::assert_equal(distorted.size(), n);
    // Decided on this scale, so the last scale can be 4 pixels in a dimension.
    const bool last = k == kMaxScales || w < kMinSize || h < kMinSize;

    const std::uint64_t ow = half_up(w);
    const std::uint64_t oh = half_up(h);
    std::optional<colour::PixelBuffer> next_source;
    std::optional<colour::PixelBuffer> next_distorted;
    if (!last) {
      next_source = halved_buffer(std::move(spare_source), plane_length(ow, oh));
      next_distorted = halved_buffer(std::move(spare_distorted), plane_length(ow, oh));
    }
    prepare_frame(source, w, h, k == 1 ? first_source : nullptr,
                  next_source ? &*next_source : nullptr, row.span());
    prepare_frame(distorted, w, h, k == 1 ? first_distorted : nullptr,
                  next_distorted ? &*next_distorted : nullptr, row.span());

    const std::span<const float> img1 = colour::flat(source);
    const std::span<const float> img2 = colour::flat(distorted);
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
    spare_source = std::move(source);
    spare_distorted = std::move(distorted);
    source = std::move(*next_source);
    distorted = std::move(*next_distorted);
    w = ow;
    h = oh;
  }
  return msssim;
}

}  // namespace

Msssim collect_scale_stats(colour::LinearRgb source, colour::LinearRgb distorted,
                           colour::Vec<ScaleSize>* sizes) {
  const std::uint64_t w = source.width;
  const std::uint64_t h = distorted.height;
  return pyramid_stats(std::move(source.data), std::move(distorted.data), w, h, nullptr, nullptr,
                       sizes);
}

std::expected<double, Ssimulacra2Error> compute_frame_ssimulacra2(colour::Rgb source,
                                                                  colour::Rgb distorted) {
  // Both conversions are checked, the source's first, before any pixel is converted: the
  // frames are linearised band by band at the first scale of the pyramid.
  const auto source_conversion = colour::LinearConversion::of(source);
  if (!source_conversion) return std::unexpected(Ssimulacra2Error::LinearRgbConversionFailed);
  const auto distorted_conversion = colour::LinearConversion::of(distorted);
  if (!distorted_conversion) return std::unexpected(Ssimulacra2Error::LinearRgbConversionFailed);

  if (source.width != distorted.width || source.height != distorted.height) {
    return std::unexpected(Ssimulacra2Error::NonMatchingImageDimensions);
  }
  if (distorted.width < kMinSize || distorted.height < kMinSize) {
    return std::unexpected(Ssimulacra2Error::InvalidImageSize);
  }
  const Msssim msssim =
      pyramid_stats(std::move(source.data), std::move(distorted.data), source.width,
                    distorted.height, &*source_conversion, &*distorted_conversion, nullptr);
  return msssim.score();
}

}  // namespace metric
