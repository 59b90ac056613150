#include "colour/errors.h"

#include "colour/invariant.h"

namespace colour {

std::string_view debug_string(CreationError error) {
  switch (error) {
    case CreationError::ResolutionMismatch:
      return "ResolutionMismatch";
  }
  fail_invariant("creation error code outside the enumeration");
}

std::string_view debug_string(ColorConversionError error) {
  switch (error) {
    case ColorConversionError::UnsupportedColorPrimaries:
      return "UnsupportedColorPrimaries";
    case ColorConversionError::UnspecifiedColorPrimaries:
      return "UnspecifiedColorPrimaries";
    case ColorConversionError::UnsupportedTransferCharacteristic:
      return "UnsupportedTransferCharacteristic";
    case ColorConversionError::UnspecifiedTransferCharacteristic:
      return "UnspecifiedTransferCharacteristic";
  }
  fail_invariant("colour conversion error code outside the enumeration");
}

}  // namespace colour
