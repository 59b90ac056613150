#include <gtest/gtest.h>
#include <zlib.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decode_test_util.h"
#include "fixtures.h"
#include "icc/decode_image.h"
#include "icc/decode_png.h"
#include "icc/general_formats.h"
#include "icc/icc_transform.h"
#include "subprocess.h"

namespace velquon {
namespace {

using test::bits_of;
using test::Bytes;
using test::capture_stderr;
using test::PngSpec;
using test::system_profile;
using test::TempDir;
using test::write_png;

// The bit patterns of value / divisor, the one 32-bit division every sample gets.
std::vector<std::uint32_t> expected_bits(const std::vector<std::uint16_t>& values, float divisor) {
  std::vector<std::uint32_t> out;
  for (std::uint16_t v : values) out.push_back(std::bit_cast<std::uint32_t>(v / divisor));
  return out;
}

DecodedImage decode_ok(const std::filesystem::path& path, bool apply_icc) {
  return test::decode_ok(decode_png, path, apply_icc);
}

PngSpec spec(std::uint32_t w, std::uint32_t h, int type, int depth,
             std::vector<std::uint16_t> samples) {
  PngSpec s;
  s.width = w;
  s.height = h;
  s.color_type = type;
  s.bit_depth = depth;
  s.samples = std::move(samples);
  return s;
}

std::vector<std::uint16_t> to_samples(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

struct PixelCase {
  const char* name;
  PngSpec png;
  std::vector<std::uint16_t> rgb;  // expected RGB values before the division
  float divisor;
  std::optional<std::vector<std::uint16_t>> alpha;  // likewise
};

PngSpec with(PngSpec s, auto&& change) {
  change(s);
  return s;
}

std::vector<PixelCase> pixel_cases() {
  std::vector<std::uint16_t> ramp;
  for (int i = 0; i < 9 * 7; ++i) ramp.push_back(static_cast<std::uint16_t>(i * 4));
  return {
      {"truecolour alpha 8",
       spec(2, 1, 6, 8, {10, 20, 30, 255, 1, 2, 3, 0}),
       {10, 20, 30, 1, 2, 3},
       255.0f,
       std::vector<std::uint16_t>{255, 0}},
      {"grey alpha 8",
       spec(2, 1, 4, 8, {77, 128, 0, 255}),
       {77, 77, 77, 0, 0, 0},
       255.0f,
       std::vector<std::uint16_t>{128, 255}},
      {"grey 8",
       spec(3, 1, 0, 8, {0, 128, 255}),
       {0, 0, 0, 128, 128, 128, 255, 255, 255},
       255.0f,
       std::nullopt},
      {"truecolour 8",
       spec(1, 2, 2, 8, {1, 2, 3, 250, 251, 252}),
       {1, 2, 3, 250, 251, 252},
       255.0f,
       std::nullopt},
      {"grey 16",
       spec(2, 1, 0, 16, {0x1234, 0xFFFF}),
       {0x1234, 0x1234, 0x1234, 0xFFFF, 0xFFFF, 0xFFFF},
       65535.0f,
       std::nullopt},
      {"grey alpha 16",
       spec(2, 1, 4, 16, {0x1234, 0xFFFF, 1, 0x8000}),
       {0x1234, 0x1234, 0x1234, 1, 1, 1},
       65535.0f,
       std::vector<std::uint16_t>{0xFFFF, 0x8000}},
      {"truecolour 16",
       spec(2, 1, 2, 16, {1, 2, 3, 65535, 40000, 0}),
       {1, 2, 3, 65535, 40000, 0},
       65535.0f,
       std::nullopt},
      {"truecolour alpha 16",
       spec(1, 1, 6, 16, {300, 20000, 65534, 0}),
       {300, 20000, 65534},
       65535.0f,
       std::vector<std::uint16_t>{0}},
      {"grey 8 with tRNS",
       with(spec(2, 1, 0, 8, {77, 200}),
            [](PngSpec& s) {
              s.trns = {0, 77};
            }),
       {77, 77, 77, 200, 200, 200},
       255.0f,
       std::nullopt},
      {"truecolour 8 with tRNS",
       with(spec(1, 1, 2, 8, {1, 2, 3}), [](PngSpec& s) { s.trns = {0, 1, 0, 2, 0, 3}; }),
       {1, 2, 3},
       255.0f,
       std::nullopt},
      {"palette",
       with(spec(3, 1, 3, 8, {1, 0, 1}),
            [](PngSpec& s) { s.palette = {10, 20, 30, 200, 100, 50}; }),
       {200, 100, 50, 10, 20, 30, 200, 100, 50},
       255.0f,
       std::nullopt},
      {"palette depth 2",
       with(spec(3, 1, 3, 2, {2, 0, 1}),
            [](PngSpec& s) { s.palette = {1, 2, 3, 4, 5, 6, 7, 8, 9}; }),
       {7, 8, 9, 1, 2, 3, 4, 5, 6},
       255.0f,
       std::nullopt},
      // Entries past the tRNS payload are opaque.
      {"palette with tRNS",
       with(spec(3, 1, 3, 8, {1, 0, 1}),
            [](PngSpec& s) {
              s.palette = {10, 20, 30, 200, 100, 50};
              s.trns = {128};
            }),
       {200, 100, 50, 10, 20, 30, 200, 100, 50},
       255.0f,
       std::vector<std::uint16_t>{255, 128, 255}},
      {"grey 1", spec(2, 1, 0, 1, {1, 0}), {255, 255, 255, 0, 0, 0}, 255.0f, std::nullopt},
      {"grey 2", spec(2, 1, 0, 2, {1, 3}), {85, 85, 85, 255, 255, 255}, 255.0f, std::nullopt},
      {"grey 4", spec(2, 1, 0, 4, {3, 15}), {51, 51, 51, 255, 255, 255}, 255.0f, std::nullopt},
      {"grey 4 with tRNS",
       with(spec(1, 1, 0, 4, {3}),
            [](PngSpec& s) {
              s.trns = {0, 3};
            }),
       {51, 51, 51},
       255.0f,
       std::nullopt},
      {"gAMA ignored",
       with(spec(2, 1, 2, 8, {10, 100, 200, 50, 60, 70}), [](PngSpec& s) { s.gamma = 1.0 / 2.2; }),
       {10, 100, 200, 50, 60, 70},
       255.0f,
       std::nullopt},
      {"interlaced", with(spec(9, 7, 0, 8, ramp), [](PngSpec& s) { s.interlaced = true; }),
       [&] {
         std::vector<std::uint16_t> rgb;
         for (auto v : ramp) rgb.insert(rgb.end(), {v, v, v});
         return rgb;
       }(),
       255.0f, std::nullopt},
  };
}

TEST(DecodePng, SamplesAsStored) {
  TempDir dir;
  for (const PixelCase& c : pixel_cases()) {
    SCOPED_TRACE(c.name);
    const auto path = dir / "image.png";
    write_png(path, c.png);
    for (bool apply_icc : {true, false}) {
      DecodedImage image;
      EXPECT_EQ(capture_stderr([&] { image = decode_ok(path, apply_icc); }), "");
      EXPECT_EQ(image.width, c.png.width);
      EXPECT_EQ(image.height, c.png.height);
      EXPECT_EQ(bits_of(colour::flat(image.data)), expected_bits(c.rgb, c.divisor));
      ASSERT_EQ(image.alpha.has_value(), c.alpha.has_value());
      if (c.alpha) {
        EXPECT_EQ(bits_of(image.alpha->span()), expected_bits(*c.alpha, c.divisor));
      }
    }
  }
}

// An RGB(A) image whose colours an editor converted from sRGB to Adobe RGB; alpha untouched.
struct Tagged {
  Bytes srgb;   // the original, `channels` per pixel
  Bytes adobe;  // the same pixels in Adobe RGB, `channels` per pixel
};

Tagged adobe_tagged(int channels, const Bytes& profile) {
  Tagged t{test::gradient_rgb8(24, 16, channels, 3), {}};
  if (channels == 4) {
    for (std::size_t i = 0; i < t.srgb.size(); i += 4) t.srgb[i + 3] = static_cast<std::uint8_t>(i);
  }
  Bytes rgb;
  for (std::size_t i = 0; i < t.srgb.size(); i += channels) {
    rgb.insert(rgb.end(), t.srgb.begin() + i, t.srgb.begin() + i + 3);
  }
  Bytes converted = test::srgb8_to_profile(profile, rgb);
  t.adobe = t.srgb;
  for (std::size_t i = 0; i < converted.size() / 3; ++i) {
    std::copy_n(converted.begin() + 3 * i, 3, t.adobe.begin() + channels * i);
  }
  return t;
}

int max_rgb_difference(const DecodedImage& image, const Bytes& reference, int channels) {
  int worst = 0;
  for (std::size_t i = 0; i < image.data.size(); ++i) {
    for (int c = 0; c < 3; ++c) {
      int decoded = static_cast<int>(std::lround(image.data[i][c] * 255.0f));
      worst = std::max(worst, std::abs(decoded - reference[i * channels + c]));
    }
  }
  return worst;
}

TEST(DecodePng, EmbeddedProfileBringsPixelsToSrgb) {
  TempDir dir;
  const Bytes profile = system_profile("AdobeRGB1998.icc");
  for (int channels : {3, 4}) {
    SCOPED_TRACE(channels);
    Tagged t = adobe_tagged(channels, profile);
    PngSpec png = spec(24, 16, channels == 3 ? 2 : 6, 8, to_samples(t.adobe));
    png.icc_profile = profile;
    write_png(dir / "a.png", png);

    DecodedImage with_icc, without_icc;
    EXPECT_EQ(capture_stderr([&] {
                with_icc = decode_ok(dir / "a.png", true);
                without_icc = decode_ok(dir / "a.png", false);
              }),
              "");
    EXPECT_LE(max_rgb_difference(with_icc, t.srgb, channels), 4);
    EXPECT_GT(max_rgb_difference(without_icc, t.srgb, channels), 20);
    EXPECT_EQ(max_rgb_difference(without_icc, t.adobe, channels), 0);
    ASSERT_EQ(with_icc.alpha.has_value(), channels == 4);
    if (channels == 4) {
      EXPECT_EQ(bits_of(with_icc.alpha->span()), bits_of(without_icc.alpha->span()));
      std::vector<std::uint16_t> alpha;
      for (std::size_t i = 3; i < t.srgb.size(); i += 4) alpha.push_back(t.srgb[i]);
      EXPECT_EQ(bits_of(with_icc.alpha->span()), expected_bits(alpha, 255.0f));
    }
  }
}

TEST(DecodePng, SixteenBitProfileGoesThroughSixteenBitTransform) {
  TempDir dir;
  const Bytes profile = system_profile("AdobeRGB1998.icc");
  Tagged t = adobe_tagged(3, profile);
  std::vector<std::uint16_t> samples;
  for (std::uint8_t v : t.adobe) samples.push_back(static_cast<std::uint16_t>(v * 257 + 1));
  PngSpec png = spec(24, 16, 2, 16, samples);
  png.icc_profile = profile;
  write_png(dir / "a.png", png);

  DecodedImage without_icc = decode_ok(dir / "a.png", false);
  EXPECT_EQ(bits_of(colour::flat(without_icc.data)), expected_bits(samples, 65535.0f));
  DecodedImage with_icc = decode_ok(dir / "a.png", true);
  // The 16-bit transform keeps precision the 8-bit one would round away.
  auto triples = colour::Vec<Rgb16>::with_capacity(samples.size() / 3);
  for (std::size_t i = 0; i < samples.size(); i += 3) {
    triples.push_back({samples[i], samples[i + 1], samples[i + 2]});
  }
  auto converted = apply_icc_transform_u16(std::move(triples), profile);
  std::vector<std::uint16_t> flat;
  for (const Rgb16& p : converted) flat.insert(flat.end(), p.begin(), p.end());
  EXPECT_EQ(bits_of(colour::flat(with_icc.data)), expected_bits(flat, 65535.0f));
  EXPECT_LE(max_rgb_difference(with_icc, t.srgb, 3), 6);
}

const std::string& kObjectCreation = test::kObjectCreationText;

Bytes random_bytes(std::size_t n) { return test::random_bytes(n, 99); }

// Unusable profiles: the exact warning with the profile applied, none without, and the stored
// values either way.
TEST(DecodePng, UnusableProfilesWarnAndKeepValues) {
  TempDir dir;
  const std::string not_rgb =
      "Warning: embedded ICC profile is not an RGB profile, assuming sRGB\n";
  struct Case {
    const char* name;
    PngSpec png;
    Bytes profile;
    std::string warning;
  };
  const Case cases[] = {
      {"grey profile in grey image", spec(2, 1, 0, 8, {30, 220}),
       system_profile("default_gray.icc"), not_rgb},
      {"CMYK profile in RGB image", spec(1, 1, 2, 8, {30, 120, 220}),
       system_profile("default_cmyk.icc"), not_rgb},
      {"CMYK profile in 16-bit image", spec(1, 1, 2, 16, {300, 12000, 62000}),
       system_profile("ps_cmyk.icc"), not_rgb},
      {"zero-byte profile",
       spec(1, 1, 6, 8, {30, 120, 220, 9}),
       {},
       "Warning: failed to parse ICC profile (Requested data is empty or does not exist.), "
       "assuming sRGB\n"},
      {"random bytes", spec(1, 1, 2, 16, {300, 12000, 62000}), random_bytes(300),
       "Warning: failed to parse ICC profile (" + kObjectCreation + "), assuming sRGB\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PngSpec png = c.png;
    png.icc_profile = c.profile;
    write_png(dir / "w.png", png);
    const float divisor = png.bit_depth == 16 ? 65535.0f : 255.0f;
    DecodedImage plain;
    EXPECT_EQ(capture_stderr([&] { plain = decode_ok(dir / "w.png", false); }), "");
    DecodedImage warned;
    EXPECT_EQ(capture_stderr([&] { warned = decode_ok(dir / "w.png", true); }), c.warning);
    EXPECT_EQ(bits_of(colour::flat(warned.data)), bits_of(colour::flat(plain.data)));
    std::vector<std::uint16_t> first(png.samples.begin(),
                                     png.samples.begin() + (png.color_type == 0 ? 1 : 3));
    if (png.color_type == 0) first = {first[0], first[0], first[0]};
    EXPECT_EQ(bits_of(std::span(colour::flat(warned.data)).first(3)),
              expected_bits(first, divisor));
  }
}

// Patches a big-endian 32-bit value into a chunk's data and fixes the chunk's CRC.
void patch_chunk_u32(Bytes& png, const char* type, std::size_t offset, std::uint32_t value) {
  for (std::size_t at = 8; at + 12 <= png.size();) {
    std::uint32_t len = (png[at] << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
    if (std::memcmp(&png[at + 4], type, 4) == 0) {
      for (int i = 0; i < 4; ++i)
        png[at + 8 + offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
      std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, &png[at + 4], len + 4));
      for (int i = 0; i < 4; ++i)
        png[at + 8 + len + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
      return;
    }
    at += 12 + len;
  }
  throw std::runtime_error("chunk not found");
}

std::size_t chunk_offset(const Bytes& png, const char* type) {
  for (std::size_t at = 8; at + 12 <= png.size();) {
    std::uint32_t len = (png[at] << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
    if (std::memcmp(&png[at + 4], type, 4) == 0) return at;
    at += 12 + len;
  }
  throw std::runtime_error("chunk not found");
}

TEST(DecodePng, Failures) {
  TempDir dir;
  PngSpec base = spec(16, 16, 2, 8, to_samples(test::gradient_rgb8(16, 16, 3, 1)));
  write_png(dir / "good.png", base);
  const Bytes good = test::read_file(dir / "good.png");

  Bytes truncated(good.begin(), good.begin() + chunk_offset(good, "IDAT") + 30);
  Bytes huge = good;
  patch_chunk_u32(huge, "IHDR", 0, 0x7FFFFFFF);
  patch_chunk_u32(huge, "IHDR", 4, 0x7FFFFFFF);
  Bytes bad_crc = good;
  bad_crc[chunk_offset(good, "IHDR") + 8] ^= 1;
  Bytes corrupt = good;
  std::size_t idat = chunk_offset(good, "IDAT");
  for (std::size_t i = idat + 10; i < idat + 40; ++i) corrupt[i] = 0xFF;
  std::uint32_t idat_len =
      (good[idat] << 24) | (good[idat + 1] << 16) | (good[idat + 2] << 8) | good[idat + 3];
  std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, &corrupt[idat + 4], idat_len + 4));
  for (int i = 0; i < 4; ++i)
    corrupt[idat + 8 + idat_len + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));

  const test::FailureCase cases[] = {
      {"missing file", std::nullopt,
       "Failed to open PNG file: No such file or directory (os error 2)"},
      {"empty file", Bytes{}, "Failed to read PNG info: unexpected end of file"},
      {"not a PNG", Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0},
       "Failed to read PNG info: Not a PNG file"},
      {"bad header CRC", bad_crc, "Failed to read PNG info: IHDR: CRC error"},
      {"header announcing 2^31 x 2^31 pixels", huge, "Decoded image too large for system RAM"},
      {"truncated in the image data", truncated,
       "Failed to decode PNG frame: unexpected end of file"},
      {"corrupt image data", corrupt, "Failed to decode PNG frame: IDAT: invalid block type"},
  };
  test::expect_failures(decode_png, dir, ".png", cases);

  auto result = decode_png(dir.path(), true);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().message, "Failed to read PNG info: Is a directory (os error 21)");
}

// The zlib stream's own checksum is not checked: every chunk's CRC already covers the
// compressed bytes, and the check would cost a pass over the inflated image.
TEST(DecodePng, ImageDataChecksumNotChecked) {
  TempDir dir;
  write_png(dir / "good.png", spec(16, 16, 2, 8, to_samples(test::gradient_rgb8(16, 16, 3, 1))));
  const Bytes good = test::read_file(dir / "good.png");
  const std::size_t idat = chunk_offset(good, "IDAT");
  const std::uint32_t len =
      (good[idat] << 24) | (good[idat + 1] << 16) | (good[idat + 2] << 8) | good[idat + 3];
  Bytes wrong_sum = good;
  patch_chunk_u32(wrong_sum, "IDAT", len - 4, 0x01234567);
  test::write_file(dir / "wrong.png", wrong_sum);

  const auto expected = decode_png(dir / "good.png", true);
  const auto decoded = decode_png(dir / "wrong.png", true);
  ASSERT_TRUE(expected.has_value());
  ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
  EXPECT_EQ(bits_of(colour::flat(decoded->data)), bits_of(colour::flat(expected->data)));
}

// The inflated profile may take up to libpng's chunk limit of 64 MiB, no more.
TEST(DecodePng, ProfileSizeLimit) {
  TempDir dir;
  PngSpec png = spec(1, 1, 2, 8, {1, 2, 3});
  png.icc_profile = Bytes(0x4000000, 0);
  write_png(dir / "limit.png", png);
  std::string err = capture_stderr([&] { EXPECT_TRUE(decode_png(dir / "limit.png", true)); });
  EXPECT_EQ(err, "Warning: failed to parse ICC profile (" + kObjectCreation + "), assuming sRGB\n");

  png.icc_profile->push_back(0);
  write_png(dir / "over.png", png);
  auto result = decode_png(dir / "over.png", true);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().message,
            "Failed to read PNG info: iCCP: profile exceeds the limit of 67108864 bytes");
  EXPECT_TRUE(decode_png(dir / "over.png", false).has_value());
}

// The general path's reader: the same libpng plumbing, alpha dropped, profile ignored.
TEST(ReadGeneralPng, FloatRgbWithoutAlphaOrProfile) {
  TempDir dir;
  struct Case {
    const char* name;
    PngSpec png;
    std::vector<std::uint16_t> rgb;
    float divisor;
  };
  const Case cases[] = {
      {"truecolour alpha 16",
       spec(1, 1, 6, 16, {300, 20000, 65534, 0}),
       {300, 20000, 65534},
       65535.0f},
      {"grey alpha 8", spec(2, 1, 4, 8, {77, 128, 0, 255}), {77, 77, 77, 0, 0, 0}, 255.0f},
      {"palette with tRNS",
       with(spec(2, 1, 3, 8, {1, 0}),
            [](PngSpec& s) {
              s.palette = {10, 20, 30, 200, 100, 50};
              s.trns = {0, 0};
            }),
       {200, 100, 50, 10, 20, 30},
       255.0f},
      {"random profile ignored",
       with(spec(1, 1, 2, 8, {4, 5, 6}), [](PngSpec& s) { s.icc_profile = random_bytes(100); }),
       {4, 5, 6},
       255.0f},
      {"grey 16", spec(1, 1, 0, 16, {0x1234}), {0x1234, 0x1234, 0x1234}, 65535.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_png(dir / "g.png", c.png);
    std::FILE* f = std::fopen((dir / "g.png").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    GeneralResult result;
    EXPECT_EQ(capture_stderr([&] { result = read_general_png(f); }), "");
    std::fclose(f);
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_FALSE(result->alpha.has_value());
    EXPECT_EQ(result->width, c.png.width);
    EXPECT_EQ(bits_of(colour::flat(result->data)), expected_bits(c.rgb, c.divisor));
  }
}

TEST(ReadGeneralPng, SizeLimitCheckedBeforeDecoding) {
  TempDir dir;
  write_png(dir / "g.png", spec(1, 1, 2, 8, {1, 2, 3}));
  Bytes png = test::read_file(dir / "g.png");
  patch_chunk_u32(png, "IHDR", 0, 20000);
  patch_chunk_u32(png, "IHDR", 4, 20000);
  test::write_file(dir / "big.png", png);
  std::FILE* f = std::fopen((dir / "big.png").c_str(), "rb");
  GeneralResult result = read_general_png(f);
  std::fclose(f);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(),
            "decoded image needs 1200000000 bytes, more than the limit of 536870912");
}

double score_of(const test::RunResult& run) {
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.out.starts_with("Score: ")) << run.out;
  return run.out.size() > 7 ? std::stod(run.out.substr(7)) : 0.0;
}

// The executable end to end: an image that an editor converted to Adobe RGB and tagged scores
// close to its sRGB original with profiles applied, and clearly lower without.
TEST(VelquonPng, TaggedImageScoresCloseToItsOriginal) {
  TempDir dir;
  const Bytes profile = system_profile("AdobeRGB1998.icc");
  const Bytes srgb = test::gradient_rgb8(64, 48, 3, 21);
  write_png(dir / "source.png", spec(64, 48, 2, 8, to_samples(srgb)));
  PngSpec tagged = spec(64, 48, 2, 8, to_samples(test::srgb8_to_profile(profile, srgb)));
  tagged.icc_profile = profile;
  write_png(dir / "tagged.png", tagged);

  const auto with_icc = test::run_velquon({"image", dir / "source.png", dir / "tagged.png"});
  EXPECT_EQ(with_icc.err, "");
  const auto without =
      test::run_velquon({"image", "--no-icc", dir / "source.png", dir / "tagged.png"});
  EXPECT_GT(score_of(with_icc), 90.0);
  EXPECT_LT(score_of(without), score_of(with_icc) - 10.0);
}

TEST(VelquonPng, WarningsPrecedeTheScore) {
  TempDir dir;
  PngSpec grey = spec(16, 16, 0, 8, to_samples(test::gradient_rgb8(16, 16, 1, 2)));
  grey.icc_profile = system_profile("default_gray.icc");
  write_png(dir / "grey.png", grey);
  const auto run = test::run_velquon({"image", dir / "grey.png", dir / "grey.png"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Score: 100.00000000\n");
  const std::string line = "Warning: embedded ICC profile is not an RGB profile, assuming sRGB\n";
  EXPECT_EQ(run.err, line + line);
  const auto quiet = test::run_velquon({"image", "--no-icc", dir / "grey.png", dir / "grey.png"});
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(quiet.out, run.out);
}

TEST(VelquonPng, FailuresEndTheRun) {
  TempDir dir;
  write_png(dir / "good.png", spec(16, 16, 2, 8, to_samples(test::gradient_rgb8(16, 16, 3, 1))));
  const Bytes good = test::read_file(dir / "good.png");
  test::write_file(dir / "cut.png",
                   Bytes(good.begin(), good.begin() + chunk_offset(good, "IDAT") + 30));
  std::filesystem::create_directory(dir / "folder.png");
  const test::RunFailureCase cases[] = {
      {"truncated", dir / "cut.png", "Failed to decode PNG frame: unexpected end of file"},
      {"directory", dir / "folder.png", "Failed to read PNG info: Is a directory (os error 21)"},
      {"missing", dir / "none.png",
       "Failed to open PNG file: No such file or directory (os error 2)"},
  };
  test::expect_run_failures(cases, [&](const std::string& path) {
    return std::vector<std::string>{"image", dir / "good.png", path};
  });
}

}  // namespace
}  // namespace velquon
