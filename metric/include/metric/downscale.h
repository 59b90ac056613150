#pragma once

#include "colour/linear_rgb.h"
#include "colour/xyb.h"
#include "metric/plane.h"

namespace metric {

// Halves a frame in both dimensions (rounded up) with a 2 x 2 box average; an odd last column
// or row uses its last source column or row twice. The input must hold width x height pixels.
colour::LinearRgb downscale_by_2(const colour::LinearRgb& frame);

// Splits the interleaved pixels into planes of width x height values; values past the
// buffer's end stay 0.0 and pixels past width x height are ignored.
PlaneTriple xyb_to_planar(const colour::Xyb& frame);

}  // namespace metric
