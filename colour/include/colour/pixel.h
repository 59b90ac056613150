#pragma once

#include <cstdint>
#include <string_view>

namespace colour {

// ITU-T H.273 colour-primaries code points.
enum class ColorPrimaries : std::uint8_t {
  Identity = 0,
  ItuBt709 = 1,
  Unspecified = 2,
  Reserved = 3,
  ItuBt470M = 4,
  ItuBt470BG = 5,
  SmpteSt170M = 6,
  SmpteSt240M = 7,
  Film = 8,
  ItuBt2020 = 9,
  SmpteSt428 = 10,
  DciP3 = 11,
  DisplayP3 = 12,
  EbuTech3213 = 22,
};

// ITU-T H.273 transfer-characteristics code points.
enum class TransferCharacteristic : std::uint8_t {
  Identity = 0,
  ItuBt1886 = 1,
  Unspecified = 2,
  Reserved = 3,
  ItuBt470M = 4,
  ItuBt470BG = 5,
  SmpteSt170M = 6,
  SmpteSt240M = 7,
  Linear = 8,
  Logarithmic100 = 9,
  Logarithmic316 = 10,
  Xvycc = 11,
  ItuBt1361Extended = 12,
  Srgb = 13,
  ItuBt2020Ten = 14,
  ItuBt2020Twelve = 15,
  PerceptualQuantizer = 16,
  SmpteSt428 = 17,
  HybridLogGamma = 18,
};

// Display texts.
std::string_view to_string(ColorPrimaries primaries);
std::string_view to_string(TransferCharacteristic transfer);

}  // namespace colour
