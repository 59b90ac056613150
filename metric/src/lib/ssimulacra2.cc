#include "metric/ssimulacra2.h"

#include <optional>
#include <span>
#include <utility>

#include "colour/invariant.h"
#include "colour/linear_rgb.h"
#include "colour/pixel_buffer.h"
#include "lib/halve_in_place.h"
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

// Writes the XYB values of `frame`, shifted to positive ranges, into the first width x height
// values of the three planes, with the bits of converting a copy with Xyb::from and shifting and
// splitting that, in one pass over the frame.
void positive_xyb_planes(const colour::LinearRgb& frame, std::span<float> x, std::span<float> y,
                         std::span<float> b) {
  const std::size_t n = frame.data.size();
  simd::positive_xyb_planes(frame.data.span(), x.first(n), y.first(n), b.first(n));
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
  for (colour::Vec<float>& plane : img1.planes) {
    prefer_large_pages(plane.data(), n0 * sizeof(float));
  }
  // The distorted planes live in the first source frame's buffer (3 n0 floats, already in
  // memory) once that frame has been converted and halved, instead of in fresh pages. Every
  // other halving but the first source frame's is done in place, once the frame's planes are
  // made: only that one halved frame takes fresh memory.
  colour::PixelBuffer host;
  Msssim msssim;

  for (int k = 1;; ++k) {
    const std::uint64_t w = source.width;
    const std::uint64_t h = distorted.height;
    const std::uint64_t n = plane_length(w, h);
    colour::assert_equal(source.data.size(), n);
    colour::assert_equal(distorted.data.size(), n);
    // Decided on this scale, so the last scale can be 4 pixels in a dimension.
    const bool last = k == kMaxScales || w < kMinSize || h < kMinSize;

    positive_xyb_planes(source, img1[0].span(), img1[1].span(), img1[2].span());
    std::optional<colour::LinearRgb> next_source;
    if (!last) next_source = k == 1 ? downscale_by_2(source) : halve_in_place(std::move(source));
    if (k == 1) host = std::move(source.data);
    const std::span<float> hosted = colour::flat(host);
    const std::span<float> img2[3] = {hosted.subspan(0, n), hosted.subspan(n, n),
                                      hosted.subspan(2 * n, n)};
    positive_xyb_planes(distorted, img2[0], img2[1], img2[2]);
    std::optional<colour::LinearRgb> next_distorted;
    if (!last) next_distorted = halve_in_place(std::move(distorted));

    maps::SsimSums ssim[3];
    maps::EdgeSums edge[3];
    for (std::size_t c = 0; c < 3; ++c) {
      const simd::PlaneSums sums = simd::plane_sums(img1[c].span().first(n), img2[c], w, h, work);
      ssim[c] = sums.ssim;
      edge[c] = sums.edge;
    }
    msssim.scale_stats.push_back(ScaleStats{
        .ssim_norms = maps::ssim_norms(ssim, w, h),
        .edge_norms = maps::edge_norms(edge, w, h),
    });
    if (sizes != nullptr) sizes->push_back(ScaleSize{w, h});

    if (last) break;
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
