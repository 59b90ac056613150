#include "metric/downscale.h"

#include <algorithm>
#include <string>

#include "colour/errors.h"
#include "colour/invariant.h"
#include "colour/pixel_buffer.h"
#include "lib/large_pages.h"
#include "simd/kernels.h"

namespace metric {

colour::LinearRgb downscale_by_2(const colour::LinearRgb& frame) {
  const std::uint64_t w = frame.width;
  const std::uint64_t h = frame.height;
  const std::uint64_t ow = half_up(w);
  const std::uint64_t oh = half_up(h);
  auto out = colour::PixelBuffer::zeroed(plane_length(ow, oh));
  prefer_large_pages(out.data(), out.size() * sizeof(colour::Pixel));
  if (w != 0 && h != 0 && frame.data.size() >= plane_length(w, h)) {
    // Every index stays inside the frame: whole rows at a time, the same taps in the same order.
    for (std::uint64_t oy = 0; oy < oh; ++oy) {
      const std::uint64_t y0 = std::min(2 * oy, h - 1);
      const std::uint64_t y1 = std::min(2 * oy + 1, h - 1);
      simd::downscale_row(frame.data.data() + y0 * w, frame.data.data() + y1 * w, w,
                          out.data() + oy * ow);
    }
  } else if (w != 0 && h != 0) {
    // A short buffer: the checked reads end the run at the first index past its end.
    const colour::PixelBuffer& in = frame.data;
    for (std::uint64_t oy = 0; oy < oh; ++oy) {
      const std::uint64_t y0 = std::min(2 * oy, h - 1);
      const std::uint64_t y1 = std::min(2 * oy + 1, h - 1);
      for (std::uint64_t ox = 0; ox < ow; ++ox) {
        const std::uint64_t x0 = std::min(2 * ox, w - 1);
        const std::uint64_t x1 = std::min(2 * ox + 1, w - 1);
        const colour::Pixel& p00 = in.at(y0 * w + x0);
        const colour::Pixel& p10 = in.at(y0 * w + x1);
        const colour::Pixel& p01 = in.at(y1 * w + x0);
        const colour::Pixel& p11 = in.at(y1 * w + x1);
        colour::Pixel& target = out.at(oy * ow + ox);
        for (int c = 0; c < 3; ++c) {
          // Starting from +0.0 turns four taps of -0.0 into +0.0; the tap order is fixed.
          float s = 0.0f + p00[c];
          s = s + p10[c];
          s = s + p01[c];
          s = s + p11[c];
          target[c] = s * 0.25f;
        }
      }
    }
  }
  auto result = colour::LinearRgb::create(std::move(out), ow, oh);
  if (!result) {
    colour::fail_invariant("Resolution and data size match: " +
                           std::string(colour::debug_string(result.error())));
  }
  return std::move(*result);
}

PlaneTriple xyb_to_planar(const colour::Xyb& frame) {
  const std::uint64_t n = plane_length(frame.width, frame.height);
  PlaneTriple planes = PlaneTriple::zeroed(n);
  const std::size_t count = std::min<std::uint64_t>(frame.data.size(), n);
  for (std::size_t i = 0; i < count; ++i) {
    const colour::Pixel& p = frame.data[i];
    planes[0][i] = p[0];
    planes[1][i] = p[1];
    planes[2][i] = p[2];
  }
  return planes;
}

}  // namespace metric
