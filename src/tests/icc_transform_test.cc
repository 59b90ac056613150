#include "icc/icc_transform.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "fixtures.h"

namespace velquon {
namespace {

using test::capture_stderr;
using test::system_profile;

Bytes to_vec(const std::vector<std::uint8_t>& v) { return Bytes::from(v); }
std::vector<std::uint8_t> to_std(const Bytes& v) { return {v.begin(), v.end()}; }

const std::string& kObjectCreation = test::kObjectCreationText;
const std::string kMissing = "Requested data is empty or does not exist.";

test::Bytes random_bytes(std::size_t n) { return test::random_bytes(n, 7); }

// An RGB profile that opens but cannot take part in a transform: its red colorant and curve
// are gone.
test::Bytes broken_rgb_profile() {
  cmsHPROFILE p = cmsCreate_sRGBProfile();
  cmsWriteTag(p, cmsSigRedColorantTag, nullptr);
  cmsWriteTag(p, cmsSigRedTRCTag, nullptr);
  cmsUInt32Number n = 0;
  cmsSaveProfileToMem(p, nullptr, &n);
  test::Bytes b(n);
  cmsSaveProfileToMem(p, b.data(), &n);
  cmsCloseProfile(p);
  return b;
}

// Converts sRGB triples (8- or 16-bit) into the space of `profile` with Little CMS directly, as
// an image editor tagging a file with that profile would.
template <typename T>
std::vector<T> srgb_to(const test::Bytes& profile, const std::vector<T>& in) {
  const cmsUInt32Number format = sizeof(T) == 1 ? TYPE_RGB_8 : TYPE_RGB_16;
  cmsHPROFILE src = cmsCreate_sRGBProfile();
  cmsHPROFILE dst =
      cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
  cmsHTRANSFORM t = cmsCreateTransform(src, format, dst, format, INTENT_RELATIVE_COLORIMETRIC, 0);
  std::vector<T> out(in.size());
  cmsDoTransform(t, in.data(), out.data(), static_cast<cmsUInt32Number>(in.size() / 3));
  cmsDeleteTransform(t);
  cmsCloseProfile(dst);
  cmsCloseProfile(src);
  return out;
}

template <typename T>
int max_difference(const std::vector<T>& a, const std::vector<T>& b) {
  int worst = 0;
  for (std::size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}
template <typename T>
double mean_difference(const std::vector<T>& a, const std::vector<T>& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(a[i] - b[i]);
  return sum / static_cast<double>(a.size());
}

TEST(NaiveCmykToRgb, FixedFormulaTruncates) {
  struct Case {
    const char* name;
    std::array<std::uint8_t, 4> cmyk;
    std::array<std::uint8_t, 3> rgb;
  };
  const Case cases[] = {
      {"no ink", {0, 0, 0, 0}, {255, 255, 255}},
      {"all ink", {255, 255, 255, 255}, {0, 0, 0}},
      {"black only", {0, 0, 0, 255}, {0, 0, 0}},
      {"full cyan", {255, 0, 0, 0}, {0, 255, 255}},
      {"half cmy", {128, 128, 128, 0}, {126, 126, 126}},
      {"half black", {0, 0, 0, 128}, {126, 126, 126}},
      {"one step", {1, 1, 1, 0}, {254, 254, 254}},
      {"mixed", {128, 64, 32, 16}, {119, 179, 209}},
      {"mixed dark", {51, 102, 153, 204}, {40, 30, 20}},
  };
  for (const Case& c : cases) {
    Bytes out = naive_cmyk_to_rgb(c.cmyk, 1);
    EXPECT_EQ(to_std(out), std::vector<std::uint8_t>(c.rgb.begin(), c.rgb.end())) << c.name;
  }
}

TEST(NaiveCmykToRgb, IgnoresTrailingPartialPixel) {
  const std::uint8_t ten[10] = {0, 0, 0, 0, 255, 0, 0, 0, 9, 9};
  Bytes out = naive_cmyk_to_rgb(ten, 7);
  EXPECT_EQ(to_std(out), (std::vector<std::uint8_t>{255, 255, 255, 0, 255, 255}));
}

TEST(ApplyIccTransformU8, NoProfileReturnsInputSilently) {
  std::vector<std::uint8_t> pixels = {1, 2, 3, 250, 128, 0};
  Bytes in = to_vec(pixels);
  const std::uint8_t* storage = in.data();
  Bytes out;
  EXPECT_EQ(capture_stderr([&] { out = apply_icc_transform_u8(std::move(in), std::nullopt); }), "");
  EXPECT_EQ(out.data(), storage);
  EXPECT_EQ(to_std(out), pixels);
}

// Every unusable profile: one exact warning, RGB pixels unchanged, CMYK pixels through the naive
// formula.
TEST(IccTransform, UnusableProfilesWarnAndFallBack) {
  const test::Bytes empty;
  const test::Bytes random = random_bytes(600);
  const test::Bytes cmyk = system_profile("default_cmyk.icc");
  const test::Bytes grey = system_profile("default_gray.icc");
  const test::Bytes rgb = system_profile("sRGB.icc");
  const test::Bytes broken = broken_rgb_profile();
  struct Case {
    const char* name;
    const test::Bytes* profile;
    std::string rgb_warning;   // for the 8- and 16-bit RGB conversions
    std::string cmyk_warning;  // for the CMYK conversion
  };
  const std::string rgb_space =
      "Warning: embedded ICC profile is not an RGB profile, assuming sRGB\n";
  const std::string cmyk_space =
      "Warning: embedded ICC profile is not a CMYK profile, using naive CMYK conversion\n";
  const Case cases[] = {
      {"zero bytes", &empty,
       "Warning: failed to parse ICC profile (" + kMissing + "), assuming sRGB\n",
       "Warning: failed to parse ICC profile (" + kMissing + "), using naive CMYK conversion\n"},
      {"random bytes", &random,
       "Warning: failed to parse ICC profile (" + kObjectCreation + "), assuming sRGB\n",
       "Warning: failed to parse ICC profile (" + kObjectCreation +
           "), using naive CMYK conversion\n"},
      {"CMYK profile", &cmyk, rgb_space, ""},
      {"grey profile", &grey, rgb_space, cmyk_space},
      {"RGB profile", &rgb, "", cmyk_space},
      {"RGB profile without red", &broken,
       "Warning: failed to create ICC transform (" + kObjectCreation + "), assuming sRGB\n",
       cmyk_space},
  };
  const std::vector<std::uint8_t> rgb_pixels = {10, 20, 30, 200, 100, 50};
  const std::vector<std::uint8_t> cmyk_pixels = {0, 0, 0, 0, 128, 64, 32, 16};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.rgb_warning.empty()) {
      Bytes out8;
      EXPECT_EQ(capture_stderr([&] {
                  out8 = apply_icc_transform_u8(to_vec(rgb_pixels), ProfileBytes(*c.profile));
                }),
                c.rgb_warning);
      EXPECT_EQ(to_std(out8), rgb_pixels);

      auto in16 = colour::Vec<Rgb16>::from(std::vector<Rgb16>{{1, 2, 3}, {65535, 0, 4660}});
      colour::Vec<Rgb16> out16;
      EXPECT_EQ(capture_stderr([&] {
                  out16 = apply_icc_transform_u16(std::move(in16), ProfileBytes(*c.profile));
                }),
                c.rgb_warning);
      EXPECT_EQ(std::vector<Rgb16>(out16.begin(), out16.end()),
                (std::vector<Rgb16>{{1, 2, 3}, {65535, 0, 4660}}));
    }
    if (!c.cmyk_warning.empty()) {
      Bytes out;
      EXPECT_EQ(capture_stderr([&] {
                  out = apply_icc_transform_cmyk(cmyk_pixels, ProfileBytes(*c.profile), 2);
                }),
                c.cmyk_warning);
      EXPECT_EQ(to_std(out), (std::vector<std::uint8_t>{255, 255, 255, 119, 179, 209}));
    }
  }
}

// Pixels an editor converted from sRGB into a wide-gamut space come back close to the sRGB
// original through that space's profile, at 8 and 16 bits.
TEST(IccTransform, WideGamutProfilesConvertBackToSrgb) {
  const auto original = test::gradient_rgb8(32, 16, 3, 11);
  const std::vector<std::uint8_t> srgb(original.begin(), original.end());
  std::vector<std::uint16_t> srgb16;
  for (std::uint8_t v : srgb) srgb16.push_back(static_cast<std::uint16_t>(v * 257));
  struct Case {
    const char* name;
    int tolerance8;  // an 8-bit wide-gamut image has lost precision in the dark
  };
  for (const Case& c : {Case{"AdobeRGB1998.icc", 4}, Case{"ProPhotoRGB.icc", 8}}) {
    SCOPED_TRACE(c.name);
    const test::Bytes profile = system_profile(c.name);
    const std::vector<std::uint8_t> tagged = srgb_to(profile, srgb);
    ASSERT_GT(max_difference(tagged, srgb), 20);

    Bytes out;
    EXPECT_EQ(capture_stderr(
                  [&] { out = apply_icc_transform_u8(to_vec(tagged), ProfileBytes(profile)); }),
              "");
    EXPECT_LE(max_difference(to_std(out), srgb), c.tolerance8);

    const std::vector<std::uint16_t> tagged16 = srgb_to(profile, srgb16);
    auto wide = colour::Vec<Rgb16>::with_capacity(tagged16.size() / 3);
    for (std::size_t i = 0; i < tagged16.size(); i += 3) {
      wide.push_back({tagged16[i], tagged16[i + 1], tagged16[i + 2]});
    }
    auto out16 = apply_icc_transform_u16(std::move(wide), profile);
    ASSERT_EQ(out16.size() * 3, srgb16.size());
    std::vector<std::uint16_t> flat16;
    for (const Rgb16& p : out16) flat16.insert(flat16.end(), p.begin(), p.end());
    // Little CMS's 16-bit inverse of the sRGB curve is coarse next to zero, so a few dark
    // channels land several steps off; on average the round trip is close.
    EXPECT_LT(mean_difference(flat16, srgb16), 0.5 * 257);
    EXPECT_GT(mean_difference(tagged16, srgb16), 5 * 257);
  }
}

TEST(IccTransform, SrgbProfileKeepsSrgbPixels) {
  const auto original = test::gradient_rgb8(16, 16, 3, 5);
  const std::vector<std::uint8_t> srgb(original.begin(), original.end());
  Bytes out = apply_icc_transform_u8(to_vec(srgb), ProfileBytes(system_profile("sRGB.icc")));
  EXPECT_LE(max_difference(to_std(out), srgb), 1);
}

TEST(IccTransform, CmykProfileConvertsInkToRgb) {
  const test::Bytes profile = system_profile("default_cmyk.icc");
  // No ink, full black, full cyan, a mid tone.
  const std::vector<std::uint8_t> ink = {0, 0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 0, 100, 60, 30, 20};
  Bytes out;
  EXPECT_EQ(capture_stderr([&] { out = apply_icc_transform_cmyk(ink, profile, 4); }), "");
  ASSERT_EQ(out.size(), 12u);
  EXPECT_GE(std::min({out[0], out[1], out[2]}), 235);  // paper white
  EXPECT_LE(std::max({out[3], out[4], out[5]}), 70);   // rich black is dark
  EXPECT_LT(out[6], 60);                               // cyan: little red
  EXPECT_GT(out[8], 180);                              // but much blue
  Bytes naive = naive_cmyk_to_rgb(ink, 4);
  EXPECT_NE(to_std(out), to_std(naive));
}

TEST(IccTransform, EmptyImageWithUsableProfile) {
  EXPECT_TRUE(
      apply_icc_transform_u8(Bytes(), ProfileBytes(system_profile("AdobeRGB1998.icc"))).empty());
  EXPECT_TRUE(
      apply_icc_transform_cmyk({}, ProfileBytes(system_profile("default_cmyk.icc")), 0).empty());
}

TEST(LcmsError, Texts) {
  EXPECT_EQ(to_string(lcms::Error::ObjectCreationError), kObjectCreation);
  EXPECT_EQ(to_string(lcms::Error::MissingData), kMissing);
  EXPECT_EQ(to_string(lcms::Error::InvalidString),
            "String is not valid. Contains unsupported characters or is too long.");
  EXPECT_EQ(debug_string(lcms::Error::ObjectCreationError), "ObjectCreationError");
  EXPECT_EQ(debug_string(lcms::Error::MissingData), "MissingData");
  EXPECT_EQ(debug_string(lcms::Error::InvalidString), "InvalidString");
}

}  // namespace
}  // namespace velquon
