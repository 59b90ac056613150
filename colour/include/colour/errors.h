#pragma once

#include <cstdint>
#include <string_view>

namespace colour {

// The frame constructors' error: the buffer does not hold width x height pixels.
enum class CreationError : std::uint8_t { ResolutionMismatch = 0 };

// Failure of linearisation and of the conversion between primaries.
enum class ColorConversionError : std::uint8_t {
  UnsupportedColorPrimaries = 2,
  UnspecifiedColorPrimaries = 3,
  UnsupportedTransferCharacteristic = 4,
  UnspecifiedTransferCharacteristic = 5,
};

// Debug texts: the case names.
std::string_view debug_string(CreationError error);
std::string_view debug_string(ColorConversionError error);

}  // namespace colour
