#include "colour/pixel.h"

#include "colour/invariant.h"

namespace colour {

std::string_view to_string(ColorPrimaries primaries) {
  switch (primaries) {
    case ColorPrimaries::Identity:
      return "Identity";
    case ColorPrimaries::ItuBt709:
      return "ITU BT.709";
    case ColorPrimaries::Unspecified:
      return "Unspecified";
    case ColorPrimaries::Reserved:
      return "Reserved";
    case ColorPrimaries::ItuBt470M:
      return "ITU BT.470M";
    case ColorPrimaries::ItuBt470BG:
      return "ITU BT.470BG";
    case ColorPrimaries::SmpteSt170M:
      return "SMPTE ST-170M";
    case ColorPrimaries::SmpteSt240M:
      return "SMPTE ST-240M";
    case ColorPrimaries::Film:
      return "Film";
    case ColorPrimaries::ItuBt2020:
      return "ITU BT.2020";
    case ColorPrimaries::SmpteSt428:
      return "SMPTE ST-428";
    case ColorPrimaries::DciP3:
      return "DCI P3";
    case ColorPrimaries::DisplayP3:
      return "Display P3";
    case ColorPrimaries::EbuTech3213:
      return "EBU Tech3213";
  }
  fail_invariant("colour primaries code point outside the enumeration");
}

std::string_view to_string(TransferCharacteristic transfer) {
  switch (transfer) {
    case TransferCharacteristic::Identity:
      return "Identity";
    case TransferCharacteristic::ItuBt1886:
      return "ITU BT.1886";
    case TransferCharacteristic::Unspecified:
      return "Unspecified";
    case TransferCharacteristic::Reserved:
      return "Reserved";
    case TransferCharacteristic::ItuBt470M:
      return "ITU BT.470M";
    case TransferCharacteristic::ItuBt470BG:
      return "ITU BT.470BG";
    case TransferCharacteristic::SmpteSt170M:
      return "SMPTE ST-170M";
    case TransferCharacteristic::SmpteSt240M:
      return "SMPTE ST-240M";
    case TransferCharacteristic::Linear:
      return "Linear";
    case TransferCharacteristic::Logarithmic100:
      return "Logarithmic 100:1 range";
    case TransferCharacteristic::Logarithmic316:
      return "Logarithmic 316:1 range";
    case TransferCharacteristic::Xvycc:
      return "XVYCC";
    case TransferCharacteristic::ItuBt1361Extended:
      return "ITU BT.1361 Extended Color Gamut";
    case TransferCharacteristic::Srgb:
      return "sRGB";
    case TransferCharacteristic::ItuBt2020Ten:
      return "ITU BT.2020 for 10bit systems";
    case TransferCharacteristic::ItuBt2020Twelve:
      return "ITU BT.2020 for 12bit systems";
    case TransferCharacteristic::PerceptualQuantizer:
      return "Perceptual Quantizer";
    case TransferCharacteristic::SmpteSt428:
      return "SMPTE ST-428";
    case TransferCharacteristic::HybridLogGamma:
      return "Hybrid Log-Gamma";
  }
  fail_invariant("transfer characteristic code point outside the enumeration");
}

}  // namespace colour
