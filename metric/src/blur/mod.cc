#include "colour/invariant.h"
#include "metric/blur.h"
#include "simd/kernels.h"

namespace metric {

PlaneTriple Blur::blur(const PlaneTriple& planes) {
  colour::Vec<float> x = blur_plane(planes[0].span());
  colour::Vec<float> y = blur_plane(planes[1].span());
  colour::Vec<float> b = blur_plane(planes[2].span());
  return PlaneTriple{{std::move(x), std::move(y), std::move(b)}};
}

colour::Vec<float> Blur::blur_plane(std::span<const float> plane) {
  auto result = colour::Vec<float>::zeroed(plane_length(width, height));
  colour::assert_equal(plane.size(), scratch.size());
  if (width == 0) colour::fail_invariant("chunk size must be non-zero");
  if (plane.size() != result.size()) {
    // The row pass runs over the whole rows the plane holds before the size check fails.
    blur_rows(plane, scratch.span(), width);
    blur_columns(scratch.span(), result.span(), width, height);
  }
  simd::blur_plane(plane, result.span(), width, height, scratch.span());
  return result;
}

}  // namespace metric
