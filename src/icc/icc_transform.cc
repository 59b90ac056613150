#include "icc/icc_transform.h"

#include <lcms2.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "colour/invariant.h"
#include "icc/warning.h"

namespace velquon {
namespace {

struct ProfileCloser {
  void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformDeleter {
  void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;
using Transform = std::unique_ptr<void, TransformDeleter>;

void silent_log(cmsContext, cmsUInt32Number, const char*) {}

// The warnings of one conversion family.
struct Texts {
  std::string_view fallback;          // "assuming sRGB" or "using naive CMYK conversion"
  std::string_view wrong_space;       // the whole line after "Warning: "
  std::string_view transform_prefix;  // "failed to create ... transform ("
};

constexpr Texts kRgbTexts{"assuming sRGB",
                          "embedded ICC profile is not an RGB profile, assuming sRGB",
                          "failed to create ICC transform ("};
constexpr Texts kCmykTexts{
    "using naive CMYK conversion",
    "embedded ICC profile is not a CMYK profile, using naive CMYK conversion",
    "failed to create CMYK ICC transform ("};

void warn_with_error(std::string_view prefix, lcms::Error error, std::string_view fallback) {
  std::string message(prefix);
  message.append(to_string(error)).append("), ").append(fallback);
  write_warning(message);
}

// The handles of one conversion. Members are destroyed in reverse order, which is the release
// order the library wants: transform, then sRGB, then the embedded profile. A null transform
// means the caller gives up (a warning has been written); the profiles stay open until the
// caller's fallback is done.
struct Prepared {
  Profile input;
  Profile srgb;
  Transform transform;
};

Prepared prepare(ProfileBytes bytes, cmsColorSpaceSignature expected, cmsUInt32Number in_format,
                 cmsUInt32Number out_format, const Texts& texts) {
  Prepared p;
  if (bytes.empty()) {
    warn_with_error("failed to parse ICC profile (", lcms::Error::MissingData, texts.fallback);
    return p;
  }
  // Little CMS is silent unless a handler is set; make sure nobody's handler prints.
  cmsSetLogErrorHandler(silent_log);
  // Profiles come from a PNG chunk or JPEG segments, far below the 32-bit length limit.
  if (bytes.size() <= 0xFFFFFFFFu) {
    p.input.reset(cmsOpenProfileFromMemTHR(nullptr, bytes.data(),
                                           static_cast<cmsUInt32Number>(bytes.size())));
  }
  if (!p.input) {
    warn_with_error("failed to parse ICC profile (", lcms::Error::ObjectCreationError,
                    texts.fallback);
    return p;
  }
  if (cmsGetColorSpace(p.input.get()) != expected) {
    write_warning(texts.wrong_space);
    return p;
  }
  p.srgb.reset(cmsCreate_sRGBProfileTHR(nullptr));
  if (!p.srgb) {
    colour::fail_invariant("failed to create the built-in sRGB profile: " +
                           std::string(debug_string(lcms::Error::ObjectCreationError)));
  }
  p.transform.reset(cmsCreateTransformTHR(nullptr, p.input.get(), in_format, p.srgb.get(),
                                          out_format, INTENT_RELATIVE_COLORIMETRIC, 0));
  if (!p.transform) {
    warn_with_error(texts.transform_prefix, lcms::Error::ObjectCreationError, texts.fallback);
  }
  return p;
}

// One cmsDoTransform for any image up to 0xFFFFFFFF pixels. Larger images go through in
// successive calls of that many pixels, so that no pixel is left unconverted.
void run_transform(void* transform, const std::uint8_t* in, std::size_t in_pixel_bytes,
                   std::uint8_t* out, std::size_t out_pixel_bytes, std::uint64_t count) {
  constexpr std::uint64_t kMaxPerCall = 0xFFFFFFFFu;
  std::uint64_t done = 0;
  do {
    std::uint64_t n = std::min(count - done, kMaxPerCall);
    cmsDoTransform(transform, in + done * in_pixel_bytes, out + done * out_pixel_bytes,
                   static_cast<cmsUInt32Number>(n));
    done += n;
  } while (done < count);
}

void require_whole_pixels(std::size_t bytes, std::size_t pixel_size, const char* what) {
  if (bytes % pixel_size != 0) {
    colour::fail_invariant(std::string(what) + " holds " + std::to_string(bytes) +
                           " bytes, not a whole number of " + std::to_string(pixel_size) +
                           "-byte pixels");
  }
}

}  // namespace

Bytes apply_icc_transform_u8(Bytes pixels, std::optional<ProfileBytes> profile) {
  if (!profile) return pixels;
  Prepared p = prepare(*profile, cmsSigRgbData, TYPE_RGB_8, TYPE_RGB_8, kRgbTexts);
  if (!p.transform) return pixels;
  require_whole_pixels(pixels.size(), 3, "RGB pixel array");
  Bytes out = Bytes::zeroed(pixels.size());
  run_transform(p.transform.get(), pixels.data(), 3, out.data(), 3, pixels.size() / 3);
  return out;
}

colour::Vec<Rgb16> apply_icc_transform_u16(colour::Vec<Rgb16> pixels, ProfileBytes profile) {
  Prepared p = prepare(profile, cmsSigRgbData, TYPE_RGB_16, TYPE_RGB_16, kRgbTexts);
  if (!p.transform) return pixels;
  auto out = colour::Vec<Rgb16>::zeroed(pixels.size());
  run_transform(p.transform.get(), reinterpret_cast<const std::uint8_t*>(pixels.data()), 6,
                reinterpret_cast<std::uint8_t*>(out.data()), 6, pixels.size());
  return out;
}

Bytes apply_icc_transform_cmyk(std::span<const std::uint8_t> pixels, ProfileBytes profile,
                               std::uint64_t pixel_count) {
  Prepared p = prepare(profile, cmsSigCmykData, TYPE_CMYK_8, TYPE_RGB_8, kCmykTexts);
  if (!p.transform) return naive_cmyk_to_rgb(pixels, pixel_count);
  require_whole_pixels(pixels.size(), 4, "CMYK pixel array");
  Bytes out = Bytes::zeroed(colour::checked_byte_size(pixel_count, 3, 1));
  std::uint64_t count = std::min<std::uint64_t>(pixels.size() / 4, out.size() / 3);
  run_transform(p.transform.get(), pixels.data(), 4, out.data(), 3, count);
  return out;
}

Bytes naive_cmyk_to_rgb(std::span<const std::uint8_t> pixels, std::uint64_t pixel_count) {
  Bytes out = Bytes::with_capacity(colour::checked_byte_size(pixel_count, 3, 1));
  constexpr float k255 = 255.0f;  // bits 0x437F0000
  auto channel = [](float x, float kf) -> std::uint8_t {
    float value = ((1.0f - (x / k255)) * kf) * k255;
    if (!(value > 0.0f)) return 0;
    if (value >= 255.0f) return 255;
    return static_cast<std::uint8_t>(value);
  };
  for (std::size_t i = 0; i + 4 <= pixels.size(); i += 4) {
    float kf = 1.0f - (static_cast<float>(pixels[i + 3]) / k255);
    out.push_back(channel(static_cast<float>(pixels[i]), kf));
    out.push_back(channel(static_cast<float>(pixels[i + 1]), kf));
    out.push_back(channel(static_cast<float>(pixels[i + 2]), kf));
  }
  return out;
}

}  // namespace velquon
