#include "colour/rgb.h"

#include <string>
#include <string_view>

#include "colour/log.h"

namespace colour {
namespace {

constexpr std::string_view kModulePath = "colour::rgb";

void warn(std::uint32_t line, std::string_view text, std::string_view guess) {
  std::string message;
  message.reserve(text.size() + guess.size());
  message.append(text).append(guess);
  log::logger().log(
      log::Record{log::Level::Warn, kModulePath, kModulePath, __FILE__, line, std::move(message)});
}

}  // namespace

bool holds_pixels(std::uint64_t length, std::uint64_t width, std::uint64_t height) {
  std::uint64_t pixels = 0;
  // A size whose pixel count does not fit in 64 bits cannot describe any buffer.
  if (__builtin_mul_overflow(width, height, &pixels)) return false;
  return pixels == length;
}

std::expected<Rgb, CreationError> Rgb::create(PixelBuffer data, std::uint64_t width,
                                              std::uint64_t height, TransferCharacteristic transfer,
                                              ColorPrimaries primaries) {
  if (!holds_pixels(data.size(), width, height)) {
    return std::unexpected(CreationError::ResolutionMismatch);
  }
  if (transfer == TransferCharacteristic::Unspecified) {
    transfer = TransferCharacteristic::Srgb;
    if (log::enabled(log::Level::Warn)) {
      warn(__LINE__, "Transfer characteristics not specified. Guessing ", to_string(transfer));
    }
  }
  if (primaries == ColorPrimaries::Unspecified) {
    primaries = ColorPrimaries::ItuBt709;
    if (log::enabled(log::Level::Warn)) {
      warn(__LINE__, "Color primaries not specified. Guessing ", to_string(primaries));
    }
  }
  return Rgb(std::move(data), width, height, transfer, primaries);
}

}  // namespace colour
