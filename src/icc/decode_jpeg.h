#pragma once

#include <cstdio>

#include "icc/decoded_image.h"

namespace velquon {

// The JPEG path over an open file (the caller keeps it), for callers that hold bytes rather
// than a path. decode_jpeg opens the file and calls this.
Decoded<DecodedImage> decode_jpeg_file(std::FILE* file, bool apply_icc);

}  // namespace velquon
