#include "icc/general_formats.h"

namespace velquon {

// Placeholders until the libpng and libjpeg readers land.
GeneralResult read_general_png(std::FILE*) { return std::unexpected("PNG reader not built yet"); }
GeneralResult read_general_jpeg(std::FILE*) { return std::unexpected("JPEG reader not built yet"); }

}  // namespace velquon
