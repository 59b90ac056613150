#include <benchmark/benchmark.h>
#include <hwy/highway.h>
#include <hwy/targets.h>

#include <cstdint>
#include <utility>

#include "colour/pixel.h"
#include "colour/rgb.h"
#include "metric/blur.h"
#include "metric/ssimulacra2.h"

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

// A textured gradient and the same with noise.
std::pair<colour::PixelBuffer, colour::PixelBuffer> synthetic_pair(std::uint64_t width,
                                                                   std::uint64_t height) {
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
      source[y * width + x] = p;
      for (int c = 0; c < 3; ++c) {
        distorted[y * width + x][c] = clamp01(p[c] + (rng.unit() - 0.5f) * 0.1f);
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
    state.SetLabel(
        hwy::TargetName(mask != 0 ? mask : hwy::SupportedTargets() & -hwy::SupportedTargets()));
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
  const auto [source, distorted] = synthetic_pair(width, height);
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
    ->ArgNames({"w", "h", "kernels"})
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 1})
    ->Args({1920, 1080, 2})
    ->Args({512, 512, 0})
    ->Unit(benchmark::kMillisecond);

void BM_BlurPlane(benchmark::State& state) {
  const auto width = static_cast<std::uint64_t>(state.range(0));
  const auto height = static_cast<std::uint64_t>(state.range(1));
  const auto [source, distorted] = synthetic_pair(width, height);
  auto plane = colour::Vec<float>::zeroed(width * height);
  for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = source[i][1];
  metric::Blur blur{colour::Vec<float>::zeroed(width * height), width, height};
  for (auto _ : state) {
    auto out = blur.blur_plane(plane.span());
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_BlurPlane)->Args({1920, 1080})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
