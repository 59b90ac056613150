#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "colour/vec.h"

namespace velquon {

namespace lcms {

// Why a colour-management step could not be done.
enum class Error : std::uint8_t {
  ObjectCreationError = 0,
  MissingData = 1,
  InvalidString = 2,
};

constexpr std::string_view to_string(Error error) {
  switch (error) {
    case Error::ObjectCreationError:
      return "Could not create the object.\n"
             "The reason is not known, but it's usually caused by wrong input parameters.";
    case Error::MissingData:
      return "Requested data is empty or does not exist.";
    case Error::InvalidString:
      return "String is not valid. Contains unsupported characters or is too long.";
  }
  return "";
}

constexpr std::string_view debug_string(Error error) {
  switch (error) {
    case Error::ObjectCreationError:
      return "ObjectCreationError";
    case Error::MissingData:
      return "MissingData";
    case Error::InvalidString:
      return "InvalidString";
  }
  return "";
}

}  // namespace lcms

using Bytes = colour::Vec<std::uint8_t>;
using Rgb16 = std::array<std::uint16_t, 3>;
using ProfileBytes = std::span<const std::uint8_t>;

// 8-bit RGB triples to sRGB through `profile`. Without a profile, or with one that cannot be
// used (after a warning on stderr), the input comes back unchanged.
Bytes apply_icc_transform_u8(Bytes pixels, std::optional<ProfileBytes> profile);

// 16-bit RGB triples (native byte order) to sRGB; unusable profiles as for the 8-bit form.
colour::Vec<Rgb16> apply_icc_transform_u16(colour::Vec<Rgb16> pixels, ProfileBytes profile);

// CMYK ink amounts (0 none, 255 full) to 8-bit sRGB through a CMYK profile; an unusable profile
// falls back to naive_cmyk_to_rgb after a warning.
Bytes apply_icc_transform_cmyk(std::span<const std::uint8_t> pixels, ProfileBytes profile,
                               std::uint64_t pixel_count);

// The fixed formula for CMYK without a usable profile. pixel_count only sizes the reservation;
// every whole group of four input bytes gives one pixel.
Bytes naive_cmyk_to_rgb(std::span<const std::uint8_t> pixels, std::uint64_t pixel_count);

}  // namespace velquon
