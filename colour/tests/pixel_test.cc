#include "colour/pixel.h"

#include <gtest/gtest.h>

#include "colour/errors.h"

namespace colour {
namespace {

TEST(DisplayText, ColorPrimaries) {
  const std::pair<ColorPrimaries, std::string_view> cases[] = {
      {ColorPrimaries::Identity, "Identity"},
      {ColorPrimaries::ItuBt709, "ITU BT.709"},
      {ColorPrimaries::Unspecified, "Unspecified"},
      {ColorPrimaries::Reserved, "Reserved"},
      {ColorPrimaries::ItuBt470M, "ITU BT.470M"},
      {ColorPrimaries::ItuBt470BG, "ITU BT.470BG"},
      {ColorPrimaries::SmpteSt170M, "SMPTE ST-170M"},
      {ColorPrimaries::SmpteSt240M, "SMPTE ST-240M"},
      {ColorPrimaries::Film, "Film"},
      {ColorPrimaries::ItuBt2020, "ITU BT.2020"},
      {ColorPrimaries::SmpteSt428, "SMPTE ST-428"},
      {ColorPrimaries::DciP3, "DCI P3"},
      {ColorPrimaries::DisplayP3, "Display P3"},
      {ColorPrimaries::EbuTech3213, "EBU Tech3213"},
  };
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(to_string(value), text) << static_cast<int>(value);
  }
}

TEST(DisplayText, TransferCharacteristic) {
  const std::pair<TransferCharacteristic, std::string_view> cases[] = {
      {TransferCharacteristic::Identity, "Identity"},
      {TransferCharacteristic::ItuBt1886, "ITU BT.1886"},
      {TransferCharacteristic::Unspecified, "Unspecified"},
      {TransferCharacteristic::Reserved, "Reserved"},
      {TransferCharacteristic::ItuBt470M, "ITU BT.470M"},
      {TransferCharacteristic::ItuBt470BG, "ITU BT.470BG"},
      {TransferCharacteristic::SmpteSt170M, "SMPTE ST-170M"},
      {TransferCharacteristic::SmpteSt240M, "SMPTE ST-240M"},
      {TransferCharacteristic::Linear, "Linear"},
      {TransferCharacteristic::Logarithmic100, "Logarithmic 100:1 range"},
      {TransferCharacteristic::Logarithmic316, "Logarithmic 316:1 range"},
      {TransferCharacteristic::Xvycc, "XVYCC"},
      {TransferCharacteristic::ItuBt1361Extended, "ITU BT.1361 Extended Color Gamut"},
      {TransferCharacteristic::Srgb, "sRGB"},
      {TransferCharacteristic::ItuBt2020Ten, "ITU BT.2020 for 10bit systems"},
      {TransferCharacteristic::ItuBt2020Twelve, "ITU BT.2020 for 12bit systems"},
      {TransferCharacteristic::PerceptualQuantizer, "Perceptual Quantizer"},
      {TransferCharacteristic::SmpteSt428, "SMPTE ST-428"},
      {TransferCharacteristic::HybridLogGamma, "Hybrid Log-Gamma"},
  };
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(to_string(value), text) << static_cast<int>(value);
  }
}

TEST(DebugText, CaseNames) {
  EXPECT_EQ(debug_string(CreationError::ResolutionMismatch), "ResolutionMismatch");
  const std::pair<ColorConversionError, std::string_view> cases[] = {
      {ColorConversionError::UnsupportedColorPrimaries, "UnsupportedColorPrimaries"},
      {ColorConversionError::UnspecifiedColorPrimaries, "UnspecifiedColorPrimaries"},
      {ColorConversionError::UnsupportedTransferCharacteristic,
       "UnsupportedTransferCharacteristic"},
      {ColorConversionError::UnspecifiedTransferCharacteristic,
       "UnspecifiedTransferCharacteristic"},
  };
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(debug_string(value), text) << static_cast<int>(value);
  }
}

}  // namespace
}  // namespace colour
