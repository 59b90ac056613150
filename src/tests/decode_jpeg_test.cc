#include <gtest/gtest.h>
#include <lcms2.h>

#include <bit>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decode_test_util.h"
#include "fixtures.h"
#include "icc/decode_image.h"
#include "icc/decode_jpeg.h"
#include "icc/general_formats.h"
#include "icc/icc_transform.h"
#include "icc/jpeg_reader.h"
#include "subprocess.h"

namespace velquon {
namespace {

using test::bits_of;
using test::Bytes;
using test::capture_stderr;
using test::JpegSpec;
using test::system_profile;
using test::TempDir;
using test::write_jpeg;

std::vector<std::uint32_t> bits_of_bytes(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint32_t> out;
  for (std::uint8_t v : bytes) out.push_back(std::bit_cast<std::uint32_t>(v / 255.0f));
  return out;
}

// Smooth colours that JPEG's chroma subsampling keeps well, unlike a fine checkerboard.
Bytes smooth_rgb(std::uint32_t w, std::uint32_t h) {
  Bytes out;
  for (std::uint32_t y = 0; y < h; ++y) {
    for (std::uint32_t x = 0; x < w; ++x) {
      out.insert(out.end(),
                 {static_cast<std::uint8_t>(20 + 9 * x), static_cast<std::uint8_t>(40 + 12 * y),
                  static_cast<std::uint8_t>(200 - 4 * x - 3 * y)});
    }
  }
  return out;
}

double mean_difference(const Bytes& a, const Bytes& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(a[i] - b[i]);
  return sum / static_cast<double>(a.size());
}

DecodedImage decode_ok(const std::filesystem::path& path, bool apply_icc) {
  return test::decode_ok(decode_jpeg, path, apply_icc);
}

JpegSpec uniform(std::uint32_t w, std::uint32_t h, std::vector<std::uint8_t> pixel) {
  JpegSpec s;
  s.width = w;
  s.height = h;
  s.components = static_cast<int>(pixel.size());
  s.quality = 100;
  for (std::uint32_t i = 0; i < w * h; ++i)
    s.samples.insert(s.samples.end(), pixel.begin(), pixel.end());
  return s;
}

JpegSpec with(JpegSpec s, auto&& change) {
  change(s);
  return s;
}

// The ink amounts the shared reader delivers (stored CMYK bytes complemented).
Bytes decoded_ink(const std::filesystem::path& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  auto image = read_jpeg_image(f, {});
  std::fclose(f);
  if (!image) throw std::runtime_error(image.error());
  return Bytes(image->pixels.begin(), image->pixels.end());
}

TEST(DecodeJpeg, PixelFormats) {
  TempDir dir;
  struct Case {
    const char* name;
    JpegSpec jpeg;
    std::vector<std::uint8_t> rgb;  // of every pixel
  };
  const Case cases[] = {
      {"grey 128", uniform(16, 8, {128}), {128, 128, 128}},
      {"grey progressive",
       with(uniform(16, 8, {77}), [](JpegSpec& s) { s.progressive = true; }),
       {77, 77, 77}},
      {"grey arithmetic",
       with(uniform(16, 8, {200}), [](JpegSpec& s) { s.arithmetic = true; }),
       {200, 200, 200}},
      {"RGB grey level", uniform(16, 8, {90, 90, 90}), {90, 90, 90}},
      // The usual writers store CMYK inverted: 255 is no ink.
      {"CMYK white", uniform(16, 8, {255, 255, 255, 255}), {255, 255, 255}},
      {"CMYK full black", uniform(16, 8, {255, 255, 255, 0}), {0, 0, 0}},
      {"CMYK full cyan", uniform(16, 8, {0, 255, 255, 255}), {0, 255, 255}},
      {"CMYK without Adobe marker",
       with(uniform(16, 8, {255, 255, 255, 255}), [](JpegSpec& s) { s.adobe_marker = false; }),
       {255, 255, 255}},
      {"YCCK white",
       with(uniform(16, 8, {255, 255, 255, 255}), [](JpegSpec& s) { s.ycck = true; }),
       {255, 255, 255}},
      {"YCCK full black",
       with(uniform(16, 8, {255, 255, 255, 0}), [](JpegSpec& s) { s.ycck = true; }),
       {0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_jpeg(dir / "p.jpg", c.jpeg);
    for (bool apply_icc : {true, false}) {
      DecodedImage image;
      EXPECT_EQ(capture_stderr([&] { image = decode_ok(dir / "p.jpg", apply_icc); }), "");
      EXPECT_EQ(image.width, c.jpeg.width);
      EXPECT_EQ(image.height, c.jpeg.height);
      EXPECT_FALSE(image.alpha.has_value());
      std::vector<std::uint8_t> all;
      for (std::uint32_t i = 0; i < c.jpeg.width * c.jpeg.height; ++i) {
        all.insert(all.end(), c.rgb.begin(), c.rgb.end());
      }
      EXPECT_EQ(bits_of(colour::flat(image.data)), bits_of_bytes(all));
    }
  }
}

TEST(DecodeJpeg, RgbValuesAreTheDecodedBytes) {
  TempDir dir;
  JpegSpec jpeg;
  jpeg.width = 24;
  jpeg.height = 16;
  jpeg.samples = smooth_rgb(24, 16);
  write_jpeg(dir / "g.jpg", jpeg);
  DecodedImage image = decode_ok(dir / "g.jpg", true);
  Bytes decoded = decoded_ink(dir / "g.jpg");  // RGB bytes, nothing to complement
  EXPECT_EQ(bits_of(colour::flat(image.data)), bits_of_bytes(decoded));
  // The right channels in the right order, with JPEG's loss.
  EXPECT_LT(mean_difference(decoded, jpeg.samples), 2.0);
}

// Sets the sequence number and count bytes of the n-th APP2 ICC segment.
void patch_icc_segment(Bytes& jpeg, int n, std::uint8_t seq, std::uint8_t count) {
  const char tag[] = "ICC_PROFILE";
  int seen = 0;
  for (std::size_t i = 0; i + 14 <= jpeg.size(); ++i) {
    if (std::memcmp(&jpeg[i], tag, sizeof tag) != 0) continue;
    if (seen++ == n) {
      jpeg[i + 12] = seq;
      jpeg[i + 13] = count;
      return;
    }
  }
  throw std::runtime_error("segment not found");
}

TEST(DecodeJpeg, EmbeddedProfileFromApp2Segments) {
  TempDir dir;
  const Bytes profile = system_profile("AdobeRGB1998.icc");
  ASSERT_GT(profile.size(), 500u);
  const Bytes srgb = smooth_rgb(24, 16);
  JpegSpec jpeg;
  jpeg.width = 24;
  jpeg.height = 16;
  jpeg.quality = 100;
  jpeg.samples = test::srgb8_to_profile(profile, srgb);
  jpeg.icc_profile = profile;
  write_jpeg(dir / "whole.jpg", jpeg);
  jpeg.icc_chunk_size = 200;  // the profile over several segments
  write_jpeg(dir / "split.jpg", jpeg);
  Bytes split = test::read_file(dir / "split.jpg");

  DecodedImage plain = decode_ok(dir / "whole.jpg", false);
  Bytes decoded = decoded_ink(dir / "whole.jpg");
  Bytes converted(decoded.size());
  {
    auto out = apply_icc_transform_u8(colour::Vec<std::uint8_t>::from(decoded), profile);
    std::copy(out.begin(), out.end(), converted.begin());
  }
  EXPECT_EQ(bits_of(colour::flat(plain.data)), bits_of_bytes(decoded));

  EXPECT_LT(mean_difference(converted, srgb), 2.0);
  EXPECT_GT(mean_difference(decoded, srgb), 8.0);

  for (const char* name : {"whole.jpg", "split.jpg"}) {
    SCOPED_TRACE(name);
    DecodedImage image;
    EXPECT_EQ(capture_stderr([&] { image = decode_ok(dir / name, true); }), "");
    EXPECT_EQ(bits_of(colour::flat(image.data)), bits_of_bytes(converted));
  }

  // Segments that do not fit together carry no profile: the pixels stay as decoded, silently.
  struct Broken {
    const char* name;
    int segment;
    std::uint8_t seq;
    std::uint8_t count;
  };
  const std::uint8_t segments = static_cast<std::uint8_t>((profile.size() + 199) / 200);
  for (const Broken& b :
       {Broken{"duplicate sequence number", 1, 1, segments},
        Broken{"sequence number zero", 0, 0, segments},
        Broken{"count disagrees", 2, 3, static_cast<std::uint8_t>(segments + 1)},
        Broken{"sequence past the count", 0, static_cast<std::uint8_t>(segments + 1), segments}}) {
    SCOPED_TRACE(b.name);
    Bytes bytes = split;
    patch_icc_segment(bytes, b.segment, b.seq, b.count);
    test::write_file(dir / "broken.jpg", bytes);
    DecodedImage image;
    EXPECT_EQ(capture_stderr([&] { image = decode_ok(dir / "broken.jpg", true); }), "");
    EXPECT_EQ(bits_of(colour::flat(image.data)), bits_of_bytes(decoded));
  }
}

TEST(DecodeJpeg, CmykProfileConvertsInk) {
  TempDir dir;
  const Bytes profile = system_profile("default_cmyk.icc");
  // Ink (100, 60, 30, 20) everywhere, stored inverted.
  JpegSpec jpeg = uniform(16, 8, {155, 195, 225, 235});
  jpeg.icc_profile = profile;
  write_jpeg(dir / "c.jpg", jpeg);
  const Bytes ink = decoded_ink(dir / "c.jpg");
  ASSERT_EQ(std::vector<std::uint8_t>(ink.begin(), ink.begin() + 4),
            (std::vector<std::uint8_t>{100, 60, 30, 20}));
  Bytes via_profile = [&] {
    auto out = apply_icc_transform_cmyk(ink, profile, 16 * 8);
    return Bytes(out.begin(), out.end());
  }();
  Bytes naive = [&] {
    auto out = naive_cmyk_to_rgb(ink, 16 * 8);
    return Bytes(out.begin(), out.end());
  }();
  ASSERT_NE(via_profile, naive);

  DecodedImage with_icc;
  EXPECT_EQ(capture_stderr([&] { with_icc = decode_ok(dir / "c.jpg", true); }), "");
  EXPECT_EQ(bits_of(colour::flat(with_icc.data)), bits_of_bytes(via_profile));
  EXPECT_EQ(bits_of(colour::flat(decode_ok(dir / "c.jpg", false).data)), bits_of_bytes(naive));
}

const std::string& kObjectCreation = test::kObjectCreationText;

Bytes random_bytes(std::size_t n) { return test::random_bytes(n, 5); }

TEST(DecodeJpeg, UnusableProfilesWarnAndFallBack) {
  TempDir dir;
  const std::string not_rgb =
      "Warning: embedded ICC profile is not an RGB profile, assuming sRGB\n";
  const std::string missing = "Requested data is empty or does not exist.";
  struct Case {
    const char* name;
    JpegSpec jpeg;
    Bytes profile;
    std::string warning;
  };
  const Case cases[] = {
      {"grey profile in grey image", uniform(8, 8, {60}), system_profile("default_gray.icc"),
       not_rgb},
      {"CMYK profile in RGB image", uniform(8, 8, {60, 120, 180}),
       system_profile("default_cmyk.icc"), not_rgb},
      {"RGB profile in CMYK image", uniform(8, 8, {155, 195, 225, 235}),
       system_profile("AdobeRGB1998.icc"),
       "Warning: embedded ICC profile is not a CMYK profile, using naive CMYK conversion\n"},
      {"zero-byte profile",
       uniform(8, 8, {60, 120, 180}),
       {},
       "Warning: failed to parse ICC profile (" + missing + "), assuming sRGB\n"},
      {"zero-byte profile in CMYK image",
       uniform(8, 8, {155, 195, 225, 235}),
       {},
       "Warning: failed to parse ICC profile (" + missing + "), using naive CMYK conversion\n"},
      {"random bytes", uniform(8, 8, {60}), random_bytes(400),
       "Warning: failed to parse ICC profile (" + kObjectCreation + "), assuming sRGB\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JpegSpec jpeg = c.jpeg;
    jpeg.icc_profile = c.profile;
    write_jpeg(dir / "w.jpg", jpeg);
    DecodedImage plain, warned;
    EXPECT_EQ(capture_stderr([&] { plain = decode_ok(dir / "w.jpg", false); }), "");
    EXPECT_EQ(capture_stderr([&] { warned = decode_ok(dir / "w.jpg", true); }), c.warning);
    EXPECT_EQ(bits_of(colour::flat(warned.data)), bits_of(colour::flat(plain.data)));
  }
}

std::size_t find_marker(const Bytes& jpeg, std::uint8_t marker) {
  for (std::size_t i = 2; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return i;
  }
  throw std::runtime_error("marker not found");
}

TEST(DecodeJpeg, Failures) {
  TempDir dir;
  JpegSpec spec;
  spec.width = 32;
  spec.height = 32;
  spec.samples = test::gradient_rgb8(32, 32, 3, 2);
  write_jpeg(dir / "good.jpg", spec);
  const Bytes good = test::read_file(dir / "good.jpg");
  const std::size_t sof = find_marker(good, 0xC0);

  Bytes truncated(good.begin(), good.begin() + find_marker(good, 0xDA) + 40);
  Bytes twelve_bit = good;
  twelve_bit[sof + 4] = 12;
  Bytes lossless = good;
  lossless[sof + 1] = 0xC3;

  const test::FailureCase cases[] = {
      {"missing file", std::nullopt,
       "Failed to open JPEG file: No such file or directory (os error 2)"},
      {"empty file", Bytes{}, "Failed to decode JPEG: Empty input file"},
      {"not a JPEG", Bytes{0x89, 'P', 'N', 'G', 1, 2, 3, 4},
       "Failed to decode JPEG: Not a JPEG file: starts with 0x89 0x50"},
      {"truncated in the image data", truncated,
       "Failed to decode JPEG: Premature end of JPEG file"},
      {"12-bit", twelve_bit, "Failed to decode JPEG: Unsupported JPEG data precision 12"},
      {"lossless", lossless, "Failed to decode JPEG: Unsupported JPEG process: SOF type 0xc3"},
  };
  test::expect_failures(decode_jpeg, dir, ".jpg", cases);

  auto result = decode_jpeg(dir.path(), true);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().message, "Failed to decode JPEG: Is a directory (os error 21)");
}

// A header announcing 65500 x 65500 pixels over a few hundred bytes of data must fail at once,
// before memory for the whole image is taken.
TEST(DecodeJpeg, HugeHeaderWithoutDataFailsFast) {
  TempDir dir;
  for (bool progressive : {false, true}) {
    SCOPED_TRACE(progressive ? "progressive" : "baseline");
    JpegSpec spec = uniform(16, 16, {10, 20, 30});
    spec.progressive = progressive;
    write_jpeg(dir / "small.jpg", spec);
    Bytes bytes = test::read_file(dir / "small.jpg");
    const std::size_t sof = find_marker(bytes, progressive ? 0xC2 : 0xC0);
    for (std::size_t at : {sof + 5, sof + 7}) {
      bytes[at] = 0xFF;
      bytes[at + 1] = 0xDC;  // 65500
    }
    test::write_file(dir / "huge.jpg", bytes);
    auto start = std::chrono::steady_clock::now();
    auto result = decode_jpeg(dir / "huge.jpg", true);
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_FALSE(result.has_value());
    EXPECT_TRUE(result.error().message.starts_with("Failed to decode JPEG: "))
        << result.error().message;
    EXPECT_LT(seconds, 2.0);
  }
}

TEST(ReadGeneralJpeg, FloatRgbWithoutProfile) {
  TempDir dir;
  struct Case {
    const char* name;
    JpegSpec jpeg;
    std::vector<std::uint8_t> rgb;
  };
  const Case cases[] = {
      {"grey repeated", uniform(8, 8, {128}), {128, 128, 128}},
      {"CMYK by the fixed formula", uniform(8, 8, {0, 255, 255, 255}), {0, 255, 255}},
      {"profile ignored",
       with(uniform(8, 8, {128}), [](JpegSpec& s) { s.icc_profile = random_bytes(50); }),
       {128, 128, 128}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_jpeg(dir / "g.jpg", c.jpeg);
    std::FILE* f = std::fopen((dir / "g.jpg").c_str(), "rb");
    GeneralResult result;
    EXPECT_EQ(capture_stderr([&] { result = read_general_jpeg(f); }), "");
    std::fclose(f);
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_FALSE(result->alpha.has_value());
    std::vector<std::uint8_t> all;
    for (int i = 0; i < 64; ++i) all.insert(all.end(), c.rgb.begin(), c.rgb.end());
    EXPECT_EQ(bits_of(colour::flat(result->data)), bits_of_bytes(all));
  }

  write_jpeg(dir / "small.jpg", uniform(16, 16, {10, 20, 30}));
  Bytes bytes = test::read_file(dir / "small.jpg");
  const std::size_t sof = find_marker(bytes, 0xC0);
  for (std::size_t at : {sof + 5, sof + 7}) {
    bytes[at] = 0x4E;
    bytes[at + 1] = 0x20;  // 20000
  }
  test::write_file(dir / "big.jpg", bytes);
  std::FILE* f = std::fopen((dir / "big.jpg").c_str(), "rb");
  GeneralResult result = read_general_jpeg(f);
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

// sRGB pixels separated into ink with a CMYK profile, as a print workflow does.
Bytes srgb_to_ink(const Bytes& profile, const Bytes& rgb) {
  cmsHPROFILE src = cmsCreate_sRGBProfile();
  cmsHPROFILE dst =
      cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
  cmsHTRANSFORM t =
      cmsCreateTransform(src, TYPE_RGB_8, dst, TYPE_CMYK_8, INTENT_RELATIVE_COLORIMETRIC, 0);
  Bytes ink(rgb.size() / 3 * 4);
  cmsDoTransform(t, rgb.data(), ink.data(), static_cast<cmsUInt32Number>(rgb.size() / 3));
  cmsDeleteTransform(t);
  cmsCloseProfile(dst);
  cmsCloseProfile(src);
  return ink;
}

// The executable end to end: a CMYK JPEG separated from an sRGB image scores far better against
// it through its profile than through the naive formula.
TEST(VelquonJpeg, CmykThroughItsProfile) {
  TempDir dir;
  const Bytes profile = system_profile("default_cmyk.icc");
  const Bytes srgb = smooth_rgb(24, 16);
  JpegSpec source;
  source.width = 24;
  source.height = 16;
  source.quality = 100;
  source.samples = srgb;
  write_jpeg(dir / "source.jpg", source);
  JpegSpec cmyk = source;
  cmyk.components = 4;
  cmyk.samples = srgb_to_ink(profile, srgb);
  for (auto& b : cmyk.samples) b = static_cast<std::uint8_t>(255 - b);
  cmyk.icc_profile = profile;
  cmyk.icc_chunk_size = 1000;
  write_jpeg(dir / "cmyk.jpg", cmyk);

  const auto with_icc = test::run_velquon({"image", dir / "source.jpg", dir / "cmyk.jpg"});
  EXPECT_EQ(with_icc.err, "");
  const auto naive = test::run_velquon({"image", "--no-icc", dir / "source.jpg", dir / "cmyk.jpg"});
  EXPECT_EQ(naive.err, "");
  EXPECT_GT(score_of(with_icc), score_of(naive) + 10.0);
}

TEST(VelquonJpeg, WarningsAndFailures) {
  TempDir dir;
  JpegSpec rgb = uniform(16, 16, {60, 120, 180});
  rgb.icc_profile = system_profile("default_cmyk.icc");
  write_jpeg(dir / "rgb.jpg", rgb);
  const auto warned = test::run_velquon({"image", dir / "rgb.jpg", dir / "rgb.jpg"});
  EXPECT_EQ(warned.status, 0);
  EXPECT_EQ(warned.out, "Score: 100.00000000\n");
  const std::string line = "Warning: embedded ICC profile is not an RGB profile, assuming sRGB\n";
  EXPECT_EQ(warned.err, line + line);

  const Bytes good = test::read_file(dir / "rgb.jpg");
  test::write_file(dir / "cut.jpg",
                   Bytes(good.begin(), good.begin() + find_marker(good, 0xDA) + 20));
  std::filesystem::create_directory(dir / "folder.jpeg");
  const test::RunFailureCase cases[] = {
      {"truncated", dir / "cut.jpg", "Failed to decode JPEG: Premature end of JPEG file"},
      {"directory", dir / "folder.jpeg", "Failed to decode JPEG: Is a directory (os error 21)"},
      {"missing", dir / "none.JPG",
       "Failed to open JPEG file: No such file or directory (os error 2)"},
  };
  test::expect_run_failures(cases, [&](const std::string& path) {
    return std::vector<std::string>{"image", "--no-icc", path, dir / "rgb.jpg"};
  });
}

}  // namespace
}  // namespace velquon
