// The one translation unit that compiles stb_image, restricted to its Radiance HDR reader.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_HDR
#include <stb_image.h>
