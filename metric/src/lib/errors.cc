#include "metric/ssimulacra2.h"

namespace metric {

std::string_view debug_string(Ssimulacra2Error error) {
  switch (error) {
    case Ssimulacra2Error::LinearRgbConversionFailed:
      return "LinearRgbConversionFailed";
    case Ssimulacra2Error::NonMatchingImageDimensions:
      return "NonMatchingImageDimensions";
    case Ssimulacra2Error::InvalidImageSize:
      return "InvalidImageSize";
  }
  return "InvalidImageSize";
}

}  // namespace metric
