// The one translation unit that compiles stb_image, restricted to its Radiance HDR reader.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_HDR
#include <stb_image.h>

#include "icc/stb_radiance.h"

namespace velquon {

// stb asks its read callback for this many bytes whenever it refills its buffer; every other
// request is for exactly the bytes it needs.
const int kStbRefillBytes = static_cast<int>(sizeof(stbi__context::buffer_start));

}  // namespace velquon
