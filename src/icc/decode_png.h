#pragma once

#include <cstdio>

#include "icc/decoded_image.h"

namespace velquon {

// The PNG path over an open file (the caller keeps it), for callers that hold bytes rather than
// a path. decode_png opens the file and calls this.
Decoded<DecodedImage> decode_png_file(std::FILE* file, bool apply_icc);

}  // namespace velquon
