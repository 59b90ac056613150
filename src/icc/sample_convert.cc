// Vector forms of the sample conversions: samples widen to 32-bit integers, convert exactly to
// float and take one Div; the layouts with alpha or grey are sorted out on the floats.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "icc/sample_convert.cc"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <bit>
#include <cstddef>
#include <cstdint>

#include "colour/simd_targets.h"
#include "icc/sample_convert.h"

#ifndef VELQUON_SAMPLE_CONVERT_ONCE
#define VELQUON_SAMPLE_CONVERT_ONCE
namespace velquon::detail {

// The per-pixel reference: `unit(k)` is sample k of the stream as a float in 0..1.
template <class Unit>
void pixel_to_rgb(const Unit& unit, int channels, std::size_t i, float* rgb) {
  const std::size_t s = i * static_cast<std::size_t>(channels);
  float* out = rgb + 3 * i;
  if (channels < 3) {
    out[0] = out[1] = out[2] = unit(s);
  } else {
    out[0] = unit(s);
    out[1] = unit(s + 1);
    out[2] = unit(s + 2);
  }
}

inline float unit_from_be16(const std::uint8_t* bytes, std::size_t k) {
  return unit_from_u16(static_cast<std::uint16_t>((bytes[2 * k] << 8) | bytes[2 * k + 1]));
}

}  // namespace velquon::detail
#endif

HWY_BEFORE_NAMESPACE();
namespace velquon {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if VELQUON_FUSED_TARGET
using D = hn::ScalableTag<float>;
using V = hn::Vec<D>;

// `load(k)` gives samples k .. k + lanes - 1 as floats, not yet scaled; returns the number of
// pixels done, a whole number of vectors.
template <class Load>
std::size_t VectorPixels(const Load& load, float max, int channels, std::size_t pixels,
                         float* HWY_RESTRICT rgb) {
  const D d;
  const std::size_t n = hn::Lanes(d);
  const V divisor = hn::Set(d, max);
  auto unit = [&](std::size_t k) { return hn::Div(load(k), divisor); };
  HWY_ALIGN float tile[4 * hn::MaxLanes(D())];
  std::size_t i = 0;
  for (; i + n <= pixels; i += n) {
    float* out = rgb + 3 * i;
    switch (channels) {
      case 1: {
        const V g = unit(i);
        hn::StoreInterleaved3(g, g, g, d, out);
        break;
      }
      case 2: {
        hn::Store(unit(2 * i), d, tile);
        hn::Store(unit(2 * i + n), d, tile + n);
        V g, a;
        hn::LoadInterleaved2(d, tile, g, a);
        hn::StoreInterleaved3(g, g, g, d, out);
        break;
      }
      case 3:
        for (std::size_t k = 0; k < 3; ++k) hn::StoreU(unit(3 * i + k * n), d, out + k * n);
        break;
      default: {
        for (std::size_t k = 0; k < 4; ++k) hn::Store(unit(4 * i + k * n), d, tile + k * n);
        V r, g, b, a;
        hn::LoadInterleaved4(d, tile, r, g, b, a);
        hn::StoreInterleaved3(r, g, b, d, out);
        break;
      }
    }
  }
  return i;
}
#endif

void U8ToRgb(const std::uint8_t* HWY_RESTRICT samples, int channels, std::size_t pixels,
             float* HWY_RESTRICT rgb) {
  std::size_t i = 0;
#if VELQUON_FUSED_TARGET
  const hn::Rebind<std::uint8_t, D> d8;
  const hn::Rebind<std::int32_t, D> di;
  auto load = [&](std::size_t k) {
    return hn::ConvertTo(D(), hn::PromoteTo(di, hn::LoadU(d8, samples + k)));
  };
  i = VectorPixels(load, kMax8, channels, pixels, rgb);
#endif
  auto unit = [samples](std::size_t k) { return unit_from_u8(samples[k]); };
  for (; i < pixels; ++i) detail::pixel_to_rgb(unit, channels, i, rgb);
}

void U16ToRgb(const std::uint16_t* HWY_RESTRICT samples, int channels, std::size_t pixels,
              float* HWY_RESTRICT rgb) {
  std::size_t i = 0;
#if VELQUON_FUSED_TARGET
  const hn::Rebind<std::uint16_t, D> d16;
  const hn::Rebind<std::int32_t, D> di;
  auto load = [&](std::size_t k) {
    return hn::ConvertTo(D(), hn::PromoteTo(di, hn::LoadU(d16, samples + k)));
  };
  i = VectorPixels(load, kMax16, channels, pixels, rgb);
#endif
  auto unit = [samples](std::size_t k) { return unit_from_u16(samples[k]); };
  for (; i < pixels; ++i) detail::pixel_to_rgb(unit, channels, i, rgb);
}

void Be16ToRgb(const std::uint8_t* HWY_RESTRICT bytes, int channels, std::size_t pixels,
               float* HWY_RESTRICT rgb) {
  std::size_t i = 0;
#if VELQUON_FUSED_TARGET
  if constexpr (std::endian::native == std::endian::little) {
    const hn::Rebind<std::uint16_t, D> d16;
    const hn::Repartition<std::uint8_t, decltype(d16)> d8;
    const hn::Rebind<std::int32_t, D> di;
    auto load = [&](std::size_t k) {
      const auto v = hn::BitCast(d16, hn::LoadU(d8, bytes + 2 * k));
      const auto swapped = hn::Or(hn::ShiftLeft<8>(v), hn::ShiftRight<8>(v));
      return hn::ConvertTo(D(), hn::PromoteTo(di, swapped));
    };
    i = VectorPixels(load, kMax16, channels, pixels, rgb);
  }
#endif
  auto unit = [bytes](std::size_t k) { return detail::unit_from_be16(bytes, k); };
  for (; i < pixels; ++i) detail::pixel_to_rgb(unit, channels, i, rgb);
}

}  // namespace HWY_NAMESPACE
}  // namespace velquon
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <string>

#include "colour/invariant.h"

namespace velquon {
namespace {

std::size_t checked_pixels(std::size_t samples, int channels, std::size_t rgb_values) {
  if (channels < 1 || channels > 4) {
    colour::fail_invariant("sample layout of " + std::to_string(channels) + " channels");
  }
  const std::size_t pixels = rgb_values / 3;
  colour::assert_equal(rgb_values, pixels * 3);
  colour::assert_equal(samples, pixels * static_cast<std::size_t>(channels));
  return pixels;
}

}  // namespace

HWY_EXPORT(U8ToRgb);
HWY_EXPORT(U16ToRgb);
HWY_EXPORT(Be16ToRgb);

void u8_samples_to_rgb(std::span<const std::uint8_t> samples, int channels, std::span<float> rgb) {
  const std::size_t pixels = checked_pixels(samples.size(), channels, rgb.size());
  HWY_DYNAMIC_DISPATCH(U8ToRgb)(samples.data(), channels, pixels, rgb.data());
}

void u16_samples_to_rgb(std::span<const std::uint16_t> samples, int channels,
                        std::span<float> rgb) {
  const std::size_t pixels = checked_pixels(samples.size(), channels, rgb.size());
  HWY_DYNAMIC_DISPATCH(U16ToRgb)(samples.data(), channels, pixels, rgb.data());
}

void be16_samples_to_rgb(std::span<const std::uint8_t> bytes, int channels, std::span<float> rgb) {
  const std::size_t pixels = checked_pixels(bytes.size() / 2, channels, rgb.size());
  colour::assert_equal(bytes.size() % 2, 0);
  HWY_DYNAMIC_DISPATCH(Be16ToRgb)(bytes.data(), channels, pixels, rgb.data());
}

}  // namespace velquon
#endif  // HWY_ONCE
