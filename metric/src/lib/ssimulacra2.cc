#include "metric/ssimulacra2.h"

#include <utility>

#include "colour/linear_rgb.h"
#include "colour/pixel_buffer.h"
#include "colour/xyb.h"
#include "lib/kernels.h"
#include "lib/pyramid.h"
#include "metric/blur.h"
#include "metric/downscale.h"
#include "metric/maps.h"
#include "metric/plane.h"
#include "metric/score.h"

namespace metric {

namespace {

constexpr int kMaxScales = 6;
constexpr std::uint64_t kMinSize = 8;

}  // namespace

Msssim collect_scale_stats(colour::LinearRgb source, colour::LinearRgb distorted,
                           colour::Vec<ScaleSize>* sizes) {
  // Allocated once at the full size; later scales only shorten them.
  const std::uint64_t n = plane_length(source.width, distorted.height);
  PlaneTriple products = PlaneTriple::zeroed(n);
  Blur blur{colour::Vec<float>::zeroed(n), source.width, distorted.height};
  Msssim msssim;

  for (int k = 1;; ++k) {
    if (k > 1) {
      source = downscale_by_2(source);
      distorted = downscale_by_2(distorted);
    }
    const std::uint64_t w = source.width;
    const std::uint64_t h = distorted.height;
    const std::uint64_t len = plane_length(w, h);
    for (colour::Vec<float>& plane : products.planes) plane.truncate(len);
    blur.scratch.truncate(len);
    blur.width = w;
    blur.height = h;

    // Both conversions come before either shift, as the scales are defined.
    colour::Xyb xs = colour::Xyb::from(source.clone());
    colour::Xyb xd = colour::Xyb::from(distorted.clone());
    shift_xyb_positive(colour::flat(xs.data));
    shift_xyb_positive(colour::flat(xd.data));
    const PlaneTriple img1 = xyb_to_planar(xs);
    const PlaneTriple img2 = xyb_to_planar(xd);

    multiply_planes(img1, img1, products);
    const PlaneTriple s11 = blur.blur(products);
    multiply_planes(img2, img2, products);
    const PlaneTriple s22 = blur.blur(products);
    multiply_planes(img1, img2, products);
    const PlaneTriple s12 = blur.blur(products);
    const PlaneTriple mu1 = blur.blur(img1);
    const PlaneTriple mu2 = blur.blur(img2);

    msssim.scale_stats.push_back(ScaleStats{
        .ssim_norms = ssim_map(w, h, mu1, mu2, s11, s22, s12),
        .edge_norms = edge_diff_map(w, h, img1, mu1, img2, mu2),
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
