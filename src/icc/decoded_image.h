#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>

#include "colour/pixel_buffer.h"
#include "colour/vec.h"

namespace velquon {

// A decoded input image: sRGB-encoded float RGB, nominally 0..1, and optional straight alpha.
struct DecodedImage {
  colour::PixelBuffer data;
  std::optional<colour::Vec<float>> alpha;
  std::uint64_t width = 0;
  std::uint64_t height = 0;
};

// A fatal decoding failure: the complete message that ends the run with status 101.
struct DecodeError {
  std::string message;
};

template <typename T>
using Decoded = std::expected<T, DecodeError>;

}  // namespace velquon
