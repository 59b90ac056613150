#include "main/run.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <span>
#include <utility>

#include "colour/rgb.h"
#include "icc/decode_image.h"
#include "icc/os_error.h"
#include "main/composite.h"
#include "main/format_score.h"
#include "metric/ssimulacra2.h"

namespace velquon {
namespace {

using colour::ColorPrimaries;
using colour::PixelBuffer;
using colour::TransferCharacteristic;

std::expected<colour::Rgb, std::string> make_frame(PixelBuffer data, const DecodedImage& image,
                                                   const char* role) {
  auto frame = colour::Rgb::create(std::move(data), image.width, image.height,
                                   TransferCharacteristic::Srgb, ColorPrimaries::ItuBt709);
  if (!frame) {
    return std::unexpected(std::string("Failed to process ") + role +
                           " into RGB: " + std::string(colour::debug_string(frame.error())));
  }
  return std::move(*frame);
}

std::expected<double, std::string> score_buffers(PixelBuffer source_data,
                                                 const DecodedImage& source,
                                                 PixelBuffer distorted_data,
                                                 const DecodedImage& distorted) {
  auto source_frame = make_frame(std::move(source_data), source, "source");
  if (!source_frame) return std::unexpected(std::move(source_frame.error()));
  auto distorted_frame = make_frame(std::move(distorted_data), distorted, "distorted");
  if (!distorted_frame) return std::unexpected(std::move(distorted_frame.error()));
  auto score =
      metric::compute_frame_ssimulacra2(std::move(*source_frame), std::move(*distorted_frame));
  if (!score) {
    return std::unexpected("Failed to calculate ssimulacra2: " +
                           std::string(metric::debug_string(score.error())));
  }
  return *score;
}

colour::Vec<float> opaque_alpha(std::size_t n) {
  colour::Vec<float> alpha = colour::Vec<float>::with_capacity(n);
  for (std::size_t i = 0; i < n; ++i) alpha.push_back(1.0f);
  return alpha;
}

bool print_score(double score, std::string& error) {
  const std::string line = score_line(score);
  errno = 0;
  if (std::fputs(line.c_str(), stdout) == EOF || std::fflush(stdout) == EOF) {
    error = "failed printing to stdout: " + os_error_text(errno);
    return false;
  }
  return true;
}

void report(const std::string& message) {
  std::fputs(message.c_str(), stderr);
  std::fputc('\n', stderr);
}

}  // namespace

std::expected<double, std::string> score_decoded(DecodedImage source, DecodedImage distorted) {
  if (!source.alpha && !distorted.alpha) {
    PixelBuffer source_data = std::move(source.data);
    PixelBuffer distorted_data = std::move(distorted.data);
    return score_buffers(std::move(source_data), source, std::move(distorted_data), distorted);
  }

  // The decoded images stay untouched through both passes; an image without alpha is
  // composited with alpha 1.0, which reproduces its values exactly.
  colour::Vec<float> source_opaque;
  colour::Vec<float> distorted_opaque;
  if (!source.alpha) source_opaque = opaque_alpha(source.data.size());
  if (!distorted.alpha) distorted_opaque = opaque_alpha(distorted.data.size());
  const std::span<const float> source_alpha =
      source.alpha ? source.alpha->span() : source_opaque.span();
  const std::span<const float> distorted_alpha =
      distorted.alpha ? distorted.alpha->span() : distorted_opaque.span();

  double combined = DBL_MAX;
  for (const float background : {DARK_BACKGROUND, LIGHT_BACKGROUND}) {
    PixelBuffer source_composite = composite_on_background(source.data, source_alpha, background);
    PixelBuffer distorted_composite =
        composite_on_background(distorted.data, distorted_alpha, background);
    auto score = score_buffers(std::move(source_composite), source, std::move(distorted_composite),
                               distorted);
    if (!score) return score;
    // fmin is IEEE minNum: a NaN score of one pass would yield the other.
    combined = std::fmin(combined, *score);
  }
  return combined;
}

int run(const ImageCommand& command) {
  const bool apply_icc = !command.no_icc;
  auto source = decode_image(command.source, apply_icc);
  if (!source) {
    report(source.error().message);
    return FAILURE_STATUS;
  }
  auto distorted = decode_image(command.distorted, apply_icc);
  if (!distorted) {
    report(distorted.error().message);
    return FAILURE_STATUS;
  }
  auto score = score_decoded(std::move(*source), std::move(*distorted));
  if (!score) {
    report(score.error());
    return FAILURE_STATUS;
  }
  std::string error;
  if (!print_score(*score, error)) {
    report(error);
    return FAILURE_STATUS;
  }
  return 0;
}

}  // namespace velquon
