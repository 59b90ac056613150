#pragma once

#include "colour/linear_rgb.h"

namespace metric {

// downscale_by_2 into the frame's own buffer, shortened to the halved frame: the same values
// without fresh memory, for a frame that is not needed afterwards.
colour::LinearRgb halve_in_place(colour::LinearRgb frame);

}  // namespace metric
