#include <benchmark/benchmark.h>
#include <hwy/highway.h>
#include <hwy/targets.h>

#include <cmath>
#include <cstdint>
#include <utility>

#include "colour/linear_rgb.h"
#include "colour/pixel.h"
#include "colour/rgb.h"
#include "colour/xyb.h"
#include "metric/blur.h"
#include "metric/downscale.h"
#include "metric/maps.h"
#include "metric/plane.h"
#include "metric/ssimulacra2.h"
#include "simd/kernels.h"

namespace {

// Fixed 64-bit LCG: the same frames on every run and platform.
class Lcg {
 public:
  explicit Lcg(std::uint64_t seed) : state_(seed) {}
  float unit() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<float>(state_ >> 40) / 16777216.0f;
  }

 private:
  std::uint64_t state_;
};

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// The values of a decoded 8-bit image, k / 255, as the decoders compute them.
float as_8_bit(float v) { return std::nearbyint(v * 255.0f) / 255.0f; }

// A textured gradient and the same with noise; with `eight_bit`, both quantised to the values
// that decoded 8-bit files hold.
std::pair<colour::PixelBuffer, colour::PixelBuffer> synthetic_pair(std::uint64_t width,
                                                                   std::uint64_t height,
                                                                   bool eight_bit = false) {
  auto source = colour::PixelBuffer::zeroed(width * height);
  auto distorted = colour::PixelBuffer::zeroed(width * height);
  Lcg rng(42);
  for (std::uint64_t y = 0; y < height; ++y) {
    for (std::uint64_t x = 0; x < width; ++x) {
      const float texture = static_cast<float>((x * 7 + y * 13) % 16) / 100.0f;
      const float gx = static_cast<float>(x) / static_cast<float>(width);
      const float gy = static_cast<float>(y) / static_cast<float>(height);
      const colour::Pixel p = {clamp01(gx * gx + texture), clamp01(gy * 0.8f + texture),
                               clamp01((1.0f - gx) * (1.0f - gy) + texture)};
      for (int c = 0; c < 3; ++c) {
        const float noisy = clamp01(p[c] + (rng.unit() - 0.5f) * 0.1f);
        source[y * width + x][c] = eight_bit ? as_8_bit(p[c]) : p[c];
        distorted[y * width + x][c] = eight_bit ? as_8_bit(noisy) : noisy;
      }
    }
  }
  return {std::move(source), std::move(distorted)};
}

colour::Rgb rgb(const colour::PixelBuffer& data, std::uint64_t width, std::uint64_t height) {
  return *colour::Rgb::create(data.clone(), width, height, colour::TransferCharacteristic::Srgb,
                              colour::ColorPrimaries::ItuBt709);
}

// The kernel targets a benchmark can run with: the best one of this CPU, AVX2 (or NEON) only,
// and the scalar reference code that every other CPU runs.
enum class Kernels : std::int64_t { Best = 0, Avx2OrNeon = 1, Scalar = 2 };

// Restricts the dispatched kernels for one benchmark; false when this CPU lacks the target.
class TargetScope {
 public:
  TargetScope(benchmark::State& state, std::int64_t choice) {
    std::int64_t mask = 0;
    switch (static_cast<Kernels>(choice)) {
      case Kernels::Best:
        break;
      case Kernels::Avx2OrNeon:
#if HWY_ARCH_X86
        mask = HWY_AVX2;
#elif HWY_ARCH_ARM_A64
        mask = HWY_NEON;
#endif
        break;
      case Kernels::Scalar:
        mask = HWY_STATIC_TARGET;
        break;
    }
    if (mask != 0 && (hwy::SupportedTargets() & mask) == 0) {
      state.SkipWithError("target not supported by this CPU");
      ok_ = false;
      return;
    }
    hwy::SetSupportedTargetsForTest(mask);
    // The target that dispatch picks: the best one both compiled in and supported.
    const std::int64_t usable = mask != 0 ? mask : hwy::SupportedTargets() & HWY_TARGETS;
    state.SetLabel(hwy::TargetName(usable & -usable));
  }
  ~TargetScope() { hwy::SetSupportedTargetsForTest(0); }
  bool ok() const { return ok_; }

 private:
  bool ok_ = true;
};

void BM_Score(benchmark::State& state) {
  const TargetScope scope(state, state.range(2));
  if (!scope.ok()) return;
  const auto width = static_cast<std::uint64_t>(state.range(0));
  const auto height = static_cast<std::uint64_t>(state.range(1));
  const auto [source, distorted] = synthetic_pair(width, height, state.range(3) != 0);
  for (auto _ : state) {
    // The frames are consumed by the call; copying them is not part of the measurement.
    state.PauseTiming();
    colour::Rgb s = rgb(source, width, height);
    colour::Rgb d = rgb(distorted, width, height);
    state.ResumeTiming();
    auto score = metric::compute_frame_ssimulacra2(std::move(s), std::move(d));
    benchmark::DoNotOptimize(score);
  }
}
BENCHMARK(BM_Score)
    ->ArgNames({"w", "h", "kernels", "8bit"})
    ->Args({1920, 1080, 0, 1})
    ->Args({1920, 1080, 1, 1})
    ->Args({1920, 1080, 2, 1})
    ->Args({1920, 1080, 0, 0})
    ->Args({1920, 1080, 1, 0})
    ->Args({512, 512, 0, 1})
    ->Unit(benchmark::kMillisecond);

constexpr std::int64_t kFullHdW = 1920, kFullHdH = 1080;

// Time per pixel of the full-size plane or frame.
void per_pixel(benchmark::State& state, std::uint64_t pixels) {
  state.counters["per_pixel"] = benchmark::Counter(
      static_cast<double>(pixels),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

colour::Vec<float> y_plane(const colour::PixelBuffer& frame) {
  auto plane = colour::Vec<float>::zeroed(frame.size());
  for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = frame[i][1];
  return plane;
}

colour::LinearRgb linear(const colour::PixelBuffer& data, std::uint64_t w, std::uint64_t h) {
  return *colour::LinearRgb::try_from(rgb(data, w, h));
}

// The kernels one at a time on 1920 x 1080 data; the third argument picks the target as for
// BM_Score. Blur row and column passes are those of the banded pipeline.
void BM_BlurRowPass(benchmark::State& state) {
  const TargetScope scope(state, state.range(0));
  if (!scope.ok()) return;
  const auto [source, distorted] = synthetic_pair(kFullHdW, kFullHdH);
  const auto plane = y_plane(source);
  metric::simd::PlaneWork work(kFullHdW);
  for (auto _ : state) {
    metric::simd::row_pass_only(plane.span(), kFullHdW, kFullHdH, work);
    benchmark::ClobberMemory();
  }
  per_pixel(state, kFullHdW * kFullHdH);
}

void BM_BlurColumnPass(benchmark::State& state) {
  const TargetScope scope(state, state.range(0));
  if (!scope.ok()) return;
  metric::simd::PlaneWork work(kFullHdW);
  for (auto _ : state) {
    metric::simd::column_pass_only(kFullHdW, kFullHdH, work);
    benchmark::ClobberMemory();
  }
  per_pixel(state, kFullHdW * kFullHdH);
}

// Both passes into a new plane, as Blur::blur_plane gives it.
void BM_BlurPlane(benchmark::State& state) {
  const TargetScope scope(state, state.range(0));
  if (!scope.ok()) return;
  const auto [source, distorted] = synthetic_pair(kFullHdW, kFullHdH);
  const auto plane = y_plane(source);
  metric::Blur blur{colour::Vec<float>::zeroed(kFullHdW * kFullHdH), kFullHdW, kFullHdH};
  for (auto _ : state) {
    auto out = blur.blur_plane(plane.span());
    benchmark::DoNotOptimize(out.data());
  }
  per_pixel(state, kFullHdW * kFullHdH);
}

// One plane pair through the banded pipeline: three products, five blurs, both maps' terms.
void BM_PlaneSums(benchmark::State& state) {
  const TargetScope scope(state, state.range(0));
  if (!scope.ok()) return;
  const auto [source, distorted] = synthetic_pair(kFullHdW, kFullHdH);
  const auto img1 = y_plane(source);
  const auto img2 = y_plane(distorted);
  metric::simd::PlaneWork work(kFullHdW);
  for (auto _ : state) {
    auto sums =
        metric::simd::plane_sums(img1.span(), img2.span(), kFullHdW, kFullHdH, kFullHdW, work);
    benchmark::DoNotOptimize(sums);
  }
  per_pixel(state, kFullHdW * kFullHdH);
}

// The terms and sums of both maps over three planes (of the same values here).
void BM_Maps(benchmark::State& state) {
  const TargetScope scope(state, state.range(0));
  if (!scope.ok()) return;
  const auto [source, distorted] = synthetic_pair(kFullHdW, kFullHdH);
  const auto triple = [&](const colour::PixelBuffer& f) {
    return metric::PlaneTriple{{y_plane(f), y_plane(f), y_plane(f)}};
  };
  const metric::PlaneTriple a = triple(source), b = triple(distorted);
  for (auto _ : state) {
    auto ssim = metric::ssim_map(kFullHdW, kFullHdH, a, b, a, b, a);
    auto edge = metric::edge_diff_map(kFullHdW, kFullHdH, a, b, b, a);
    benchmark::DoNotOptimize(ssim);
    benchmark::DoNotOptimize(edge);
  }
  per_pixel(state, kFullHdW * kFullHdH);
}

// Linear RGB to XYB in the colour library, on a copy made outside the timing.
void BM_Xyb(benchmark::State& state) {
  const TargetScope scope(state, state.range(0));
  if (!scope.ok()) return;
  const auto [source, distorted] = synthetic_pair(kFullHdW, kFullHdH);
  const colour::LinearRgb frame = linear(source, kFullHdW, kFullHdH);
  for (auto _ : state) {
    state.PauseTiming();
    colour::LinearRgb copy = frame.clone();
    state.ResumeTiming();
    auto xyb = colour::Xyb::from(std::move(copy));
    benchmark::DoNotOptimize(xyb.data.data());
  }
  per_pixel(state, kFullHdW * kFullHdH);
}

// sRGB to linear light in the colour library, of arbitrary floats and of 8-bit samples.
void BM_Linearise(benchmark::State& state) {
  const TargetScope scope(state, state.range(0));
  if (!scope.ok()) return;
  const auto [source, distorted] = synthetic_pair(kFullHdW, kFullHdH, state.range(1) != 0);
  for (auto _ : state) {
    state.PauseTiming();
    colour::Rgb frame = rgb(source, kFullHdW, kFullHdH);
    state.ResumeTiming();
    auto lin = colour::LinearRgb::try_from(std::move(frame));
    benchmark::DoNotOptimize(lin->data.data());
  }
  per_pixel(state, kFullHdW * kFullHdH);
}

void BM_ShiftAndSplit(benchmark::State& state) {
  const TargetScope scope(state, state.range(0));
  if (!scope.ok()) return;
  const auto [source, distorted] = synthetic_pair(kFullHdW, kFullHdH);
  auto planes = metric::PlaneTriple::zeroed(kFullHdW * kFullHdH);
  for (auto _ : state) {
    metric::simd::shift_and_split(source.span(), planes[0].span(), planes[1].span(),
                                  planes[2].span());
    benchmark::ClobberMemory();
  }
  per_pixel(state, kFullHdW * kFullHdH);
}

// The driver's one pass from a linear frame to its three positive XYB planes.
void BM_PositiveXybPlanes(benchmark::State& state) {
  const TargetScope scope(state, state.range(0));
  if (!scope.ok()) return;
  const auto [source, distorted] = synthetic_pair(kFullHdW, kFullHdH);
  const colour::LinearRgb frame = linear(source, kFullHdW, kFullHdH);
  auto planes = metric::PlaneTriple::zeroed(kFullHdW * kFullHdH);
  for (auto _ : state) {
    metric::simd::positive_xyb_planes(frame.data.span(), planes[0].span(), planes[1].span(),
                                      planes[2].span());
    benchmark::ClobberMemory();
  }
  per_pixel(state, kFullHdW * kFullHdH);
}

// Per pixel of the input frame.
void BM_Downscale(benchmark::State& state) {
  const TargetScope scope(state, state.range(0));
  if (!scope.ok()) return;
  const auto [source, distorted] = synthetic_pair(kFullHdW, kFullHdH);
  const colour::LinearRgb frame = linear(source, kFullHdW, kFullHdH);
  for (auto _ : state) {
    auto half = metric::downscale_by_2(frame);
    benchmark::DoNotOptimize(half.data.data());
  }
  per_pixel(state, kFullHdW * kFullHdH);
}

void kernel_targets(benchmark::internal::Benchmark* b) {
  b->ArgName("kernels")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
}
BENCHMARK(BM_BlurRowPass)->Apply(kernel_targets);
BENCHMARK(BM_BlurColumnPass)->Apply(kernel_targets);
BENCHMARK(BM_BlurPlane)->Apply(kernel_targets);
BENCHMARK(BM_PlaneSums)->Apply(kernel_targets);
BENCHMARK(BM_Maps)->Apply(kernel_targets);
BENCHMARK(BM_Xyb)->Apply(kernel_targets);
BENCHMARK(BM_Linearise)
    ->ArgNames({"kernels", "8bit"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShiftAndSplit)->Apply(kernel_targets);
BENCHMARK(BM_PositiveXybPlanes)->Apply(kernel_targets);
BENCHMARK(BM_Downscale)->Apply(kernel_targets);

}  // namespace

BENCHMARK_MAIN();
