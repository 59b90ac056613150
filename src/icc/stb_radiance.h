#pragma once

namespace velquon {

// The size of stb_image's buffer refills through its read callback (see stb_image_impl.cc).
extern const int kStbRefillBytes;

}  // namespace velquon
