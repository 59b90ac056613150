#include <gtest/gtest.h>
#include <half.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "fixtures.h"
#include "fixtures_general.h"
#include "icc/decode_image.h"
#include "subprocess.h"

namespace velquon {
namespace {

using test::Bytes;
using test::TempDir;
using Pixels = std::vector<std::array<float, 3>>;

const std::string kPrefix = "Failed to open image file: ";

Pixels from_bytes(const Bytes& samples, int channels) {
  Pixels out;
  for (std::size_t i = 0; i + channels <= samples.size(); i += channels) {
    out.push_back({samples[i] / 255.0f, samples[i + 1] / 255.0f, samples[i + 2] / 255.0f});
  }
  return out;
}

// Bit-exact comparison of a decoded image with the expected pixels.
void expect_pixels(const DecodedImage& image, std::uint64_t width, std::uint64_t height,
                   const Pixels& expected, const std::string& name) {
  EXPECT_EQ(image.width, width) << name;
  EXPECT_EQ(image.height, height) << name;
  EXPECT_FALSE(image.alpha.has_value()) << name;
  ASSERT_EQ(image.data.size(), expected.size()) << name;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    for (int c = 0; c < 3; ++c) {
      ASSERT_EQ(std::bit_cast<std::uint32_t>(image.data[i][c]),
                std::bit_cast<std::uint32_t>(expected[i][c]))
          << name << ": pixel " << i << " channel " << c << " is " << image.data[i][c]
          << ", expected " << expected[i][c];
    }
  }
}

// RGBA samples whose alpha takes many values, 0 (fully transparent) among them.
Bytes rgba_with_alpha(std::uint32_t width, std::uint32_t height) {
  Bytes rgba = test::gradient_rgb8(width, height, 4, 7);
  for (std::size_t i = 3; i < rgba.size(); i += 4) rgba[i] = static_cast<std::uint8_t>(i / 4 * 37);
  return rgba;
}

float as_half(float value) { return static_cast<float>(half(value)); }

struct ReadCase {
  const char* name;
  const char* file_name;
  std::function<void(const std::filesystem::path&)> write;
  std::uint64_t width;
  std::uint64_t height;
  Pixels expected;
};

std::vector<ReadCase> read_cases() {
  std::vector<ReadCase> cases;

  Bytes rgb = test::gradient_rgb8(13, 9, 3, 1);
  cases.push_back({"WebP without alpha: k / 255", "a.webp",
                   [rgb](const auto& p) { test::write_webp(p, 13, 9, 3, rgb); }, 13, 9,
                   from_bytes(rgb, 3)});

  Bytes rgba = rgba_with_alpha(11, 6);
  cases.push_back({"WebP with alpha: alpha dropped, colour kept", "b.WEBP",
                   [rgba](const auto& p) { test::write_webp(p, 11, 6, 4, rgba); }, 11, 6,
                   from_bytes(rgba, 4)});

  Bytes first = rgba_with_alpha(5, 4);
  Bytes second = test::gradient_rgb8(5, 4, 4, 99);
  cases.push_back({"animated WebP: first frame", "anim.webp",
                   [first, second](const auto& p) {
                     test::write_animated_webp(p, 5, 4, {first, second});
                   },
                   5, 4, from_bytes(first, 4)});

  // Values above 1, negative, tiny and large pass unchanged; the data window is off the origin.
  std::vector<float> exr_rgb = {0.0f,     1.0f,  0.5f,  2.75f, -0.25f, 1e-8f,
                                65504.0f, 1e20f, -3.0f, 0.1f,  0.2f,   0.3f};
  cases.push_back(
      {"OpenEXR float RGB, data window at negative origin",
       "a.exr",
       [exr_rgb](const auto& p) {
         test::write_exr(p, {.width = 2,
                             .height = 2,
                             .min_x = -7,
                             .min_y = 3,
                             .channels = {"R", "G", "B"},
                             .samples = exr_rgb});
       },
       2,
       2,
       {{0.0f, 1.0f, 0.5f}, {2.75f, -0.25f, 1e-8f}, {65504.0f, 1e20f, -3.0f}, {0.1f, 0.2f, 0.3f}}});

  std::vector<float> exr_rgba = {1.5f, -0.5f, 0.1f, 0.0f, 3.0f, 0.25f, 0.75f, 1.0f};
  cases.push_back({"OpenEXR half RGBA: alpha dropped, half values widened",
                   "b.EXR",
                   [exr_rgba](const auto& p) {
                     test::write_exr(p, {.width = 2,
                                         .height = 1,
                                         .channels = {"R", "G", "B", "A"},
                                         .half = true,
                                         .samples = exr_rgba});
                   },
                   2,
                   1,
                   {{1.5f, -0.5f, as_half(0.1f)}, {3.0f, 0.25f, 0.75f}}});

  std::vector<float> exr_y = {0.25f, 7.5f, -1.0f};
  cases.push_back(
      {"OpenEXR float Y: grey repeated",
       "y.exr",
       [exr_y](const auto& p) {
         test::write_exr(
             p, {.width = 3, .height = 1, .min_x = 100, .channels = {"Y"}, .samples = exr_y});
       },
       3,
       1,
       {{0.25f, 0.25f, 0.25f}, {7.5f, 7.5f, 7.5f}, {-1.0f, -1.0f, -1.0f}}});

  cases.push_back({"OpenEXR half Y with alpha",
                   "ya.exr",
                   [](const auto& p) {
                     test::write_exr(p, {.width = 1,
                                         .height = 2,
                                         .channels = {"Y", "A"},
                                         .half = true,
                                         .samples = {2.0f, 0.5f, 0.3f, 0.0f}});
                   },
                   1,
                   2,
                   {{2.0f, 2.0f, 2.0f}, {as_half(0.3f), as_half(0.3f), as_half(0.3f)}}});

  // Radiance: flat scanlines below 8 pixels of width, run-length coded ones from 8 on.
  auto rgbe_pixels = [](std::uint32_t count) {
    std::vector<std::array<std::uint8_t, 4>> rgbe;
    for (std::uint32_t i = 0; i < count; ++i) {
      // Runs of equal bytes and varied ones, exponents for values below and above 1, and zero.
      auto k = static_cast<std::uint8_t>(i);
      rgbe.push_back({static_cast<std::uint8_t>(i < 20 ? 200 : 17 * k),
                      static_cast<std::uint8_t>(128 + (k % 3)), static_cast<std::uint8_t>(k * 5),
                      static_cast<std::uint8_t>(i % 11 == 5 ? 0 : 125 + (k % 16))});
    }
    return rgbe;
  };
  auto hdr_expected = [](const std::vector<std::array<std::uint8_t, 4>>& rgbe) {
    Pixels out;
    for (const auto& p : rgbe) {
      out.push_back({test::rgbe_value(p[0], p[3]), test::rgbe_value(p[1], p[3]),
                     test::rgbe_value(p[2], p[3])});
    }
    return out;
  };
  auto flat = rgbe_pixels(7 * 3);
  cases.push_back({"Radiance HDR flat scanlines", "a.hdr",
                   [flat](const auto& p) {
                     test::write_hdr(p, {7, 3, flat, false, ""});
                   },
                   7, 3, hdr_expected(flat)});
  auto rle = rgbe_pixels(300 * 2);
  cases.push_back({"Radiance HDR run-length scanlines", "b.Hdr",
                   [rle](const auto& p) {
                     test::write_hdr(p, {300, 2, rle, true, ""});
                   },
                   300, 2, hdr_expected(rle)});
  return cases;
}

TEST(DecodeGeneralTest, ReadsEachFormatExactly) {
  for (const ReadCase& c : read_cases()) {
    TempDir dir;
    std::filesystem::path path = dir / c.file_name;
    c.write(path);
    Decoded<DecodedImage> image = decode_image(path, true);
    ASSERT_TRUE(image.has_value()) << c.name << ": " << image.error().message;
    expect_pixels(*image, c.width, c.height, c.expected, c.name);
  }
}

// The general path's other names of PNG and JPEG reach their readers: alpha is dropped and no
// alpha plane comes back, unlike on the front end's own PNG path.
TEST(DecodeGeneralTest, OtherPngAndJpegExtensionsUseTheirReaders) {
  TempDir dir;
  test::PngSpec png_spec;
  png_spec.width = 2;
  png_spec.height = 1;
  png_spec.color_type = 6;
  png_spec.bit_depth = 16;
  png_spec.samples = {0, 65535, 1, 40000, 7, 8, 9, 10};
  test::write_png(dir / "a.APNG", png_spec);
  Decoded<DecodedImage> png = decode_image(dir / "a.APNG", true);
  ASSERT_TRUE(png.has_value()) << png.error().message;
  expect_pixels(
      *png, 2, 1,
      {{0 / 65535.0f, 65535 / 65535.0f, 1 / 65535.0f}, {7 / 65535.0f, 8 / 65535.0f, 9 / 65535.0f}},
      "16-bit RGBA PNG named apng");

  test::JpegSpec jpeg_spec;
  jpeg_spec.width = 16;
  jpeg_spec.height = 8;
  jpeg_spec.components = 1;
  jpeg_spec.samples = test::gradient_rgb8(16, 8, 1, 5);
  test::write_jpeg(dir / "a.jfif", jpeg_spec);
  Decoded<DecodedImage> jpeg = decode_image(dir / "a.jfif", true);
  ASSERT_TRUE(jpeg.has_value()) << jpeg.error().message;
  EXPECT_EQ(jpeg->width, 16u);
  EXPECT_EQ(jpeg->height, 8u);
  EXPECT_FALSE(jpeg->alpha.has_value());
  ASSERT_EQ(jpeg->data.size(), 16u * 8u);
  for (const colour::Pixel& pixel : jpeg->data) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(pixel[0]), std::bit_cast<std::uint32_t>(pixel[1]));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(pixel[0]), std::bit_cast<std::uint32_t>(pixel[2]));
  }
}

TEST(DecodeGeneralTest, EmbeddedProfileSwitchChangesNothing) {
  TempDir dir;
  Bytes rgba = rgba_with_alpha(6, 5);
  test::write_webp(dir / "a.webp", 6, 5, 4, rgba);
  Decoded<DecodedImage> with = decode_image(dir / "a.webp", true);
  Decoded<DecodedImage> without = decode_image(dir / "a.webp", false);
  ASSERT_TRUE(with.has_value() && without.has_value());
  expect_pixels(*without, 6, 5, from_bytes(rgba, 4), "without profiles");
  expect_pixels(*with, 6, 5, from_bytes(rgba, 4), "with profiles");
}

// Cuts a written file to `keep` of its bytes (a negative value counts from the end).
void truncate_file(const std::filesystem::path& path, long keep) {
  Bytes bytes = test::read_file(path);
  std::size_t size =
      keep < 0 ? bytes.size() - static_cast<std::size_t>(-keep) : static_cast<std::size_t>(keep);
  bytes.resize(size);
  test::write_file(path, bytes);
}

struct FailureCase {
  const char* name;
  std::string file_name;
  std::function<void(const std::filesystem::path&)> prepare;  // null: the file does not exist
  std::string message;
  bool prefix_only = false;  // the rest of the text is the decoding library's own
};

std::vector<FailureCase> failure_cases() {
  auto bytes = [](std::string content) {
    return [content](const std::filesystem::path& p) {
      test::write_file(p, Bytes(content.begin(), content.end()));
    };
  };
  Bytes rgb = test::gradient_rgb8(40, 30, 3, 3);
  auto webp = [rgb](const std::filesystem::path& p) { test::write_webp(p, 40, 30, 3, rgb); };
  std::vector<float> samples(40 * 30 * 3, 0.5f);
  auto exr = [samples](const std::filesystem::path& p) {
    test::write_exr(p,
                    {.width = 40, .height = 30, .channels = {"R", "G", "B"}, .samples = samples});
  };
  std::vector<std::array<std::uint8_t, 4>> rgbe(40 * 30, {100, 150, 200, 128});
  const std::string eof = "unexpected end of file";
  const std::string nan_text = kPrefix + "the image holds NaN or infinite sample values";
  auto exr_with = [](float value, bool half_samples) {
    return [value, half_samples](const std::filesystem::path& p) {
      test::write_exr(p, {.width = 2,
                          .height = 1,
                          .channels = {"R", "G", "B"},
                          .half = half_samples,
                          .samples = {0.5f, 1.0f, 2.0f, 0.0f, value, 1.0f}});
    };
  };
  constexpr float kInf = std::numeric_limits<float>::infinity();

  return {
      {"missing file with a known extension", "missing.webp", nullptr,
       kPrefix + "No such file or directory (os error 2)"},
      {"missing file without extension: the open comes first", "missing", nullptr,
       kPrefix + "No such file or directory (os error 2)"},
      {"missing file with an unknown extension", "missing.tif", nullptr,
       kPrefix + "No such file or directory (os error 2)"},
      {"unknown extension", "a.tif", bytes("II*\0"), kPrefix + "unsupported image format \"tif\""},
      {"unknown extension is shown lower-cased", "a.GIF", bytes("GIF89a"),
       kPrefix + "unsupported image format \"gif\""},
      {"same format, other extension", "a.jpe", bytes("\xff\xd8\xff"),
       kPrefix + "unsupported image format \"jpe\""},
      {"no extension", "photo", bytes("x"),
       kPrefix + "unsupported image format (the file name has no extension)"},
      {"dot-file", ".webp", webp,
       kPrefix + "unsupported image format (the file name has no extension)"},
      {"empty extension", "photo.", bytes("x"),
       kPrefix + "unsupported image format (the file name has an empty extension)"},
      {"invalid UTF-8 extension", "a.\xffwebp", bytes("x"),
       kPrefix + "unsupported image format \"\xef\xbf\xbdwebp\""},
      {"control byte in the extension is escaped",
       "a.w\x1b"
       "b",
       bytes("x"), kPrefix + "unsupported image format \"w\\x1bb\""},
      {"not WebP content", "a.webp", bytes(std::string("RIFX\x10\0\0\0WEBPVP8L", 16)),
       kPrefix + "WebP decoding failed: not a WebP file (no RIFF WEBP header)"},
      {"empty WebP file", "a.webp", bytes(""), kPrefix + "WebP decoding failed: " + eof},
      {"truncated WebP", "a.webp",
       [webp](const auto& p) {
         webp(p);
         truncate_file(p, -10);
       },
       kPrefix + "WebP decoding failed: " + eof},
      {"WebP with a broken bitstream", "a.webp",
       [webp](const auto& p) {
         webp(p);
         Bytes b = test::read_file(p);
         for (std::size_t i = 21; i < b.size(); ++i) b[i] = 0xFF;
         test::write_file(p, b);
       },
       kPrefix + "WebP decoding failed: ", true},
      {"WebP canvas beyond the size limit", "big.webp",
       [](const auto& p) { test::write_webp_canvas_only(p, 16383, 16383); },
       kPrefix + "image of 16383 x 16383 pixels is larger than the decoding limit of 536870912 "
                 "bytes"},
      {"not OpenEXR content", "a.exr", bytes("not an exr file at all"),
       kPrefix + "OpenEXR decoding failed: ", true},
      {"truncated OpenEXR header", "a.exr",
       [exr](const auto& p) {
         exr(p);
         truncate_file(p, 40);
       },
       kPrefix + "OpenEXR decoding failed: ", true},
      {"truncated OpenEXR pixels", "a.exr",
       [exr](const auto& p) {
         exr(p);
         truncate_file(p, -30);
       },
       kPrefix + "OpenEXR decoding failed: ", true},
      {"OpenEXR beyond the size limit", "big.exr",
       [](const auto& p) {
         test::write_exr(p, {.width = 20000,
                             .height = 20000,
                             .channels = {"R", "G", "B"},
                             .half = true,
                             .samples = {},
                             .write_pixels = false});
       },
       kPrefix + "image of 20000 x 20000 pixels is larger than the decoding limit of 536870912 "
                 "bytes"},
      {"OpenEXR without colour channels", "z.exr",
       [](const auto& p) {
         test::write_exr(p, {.width = 1, .height = 1, .channels = {"Z"}, .samples = {1.0f}});
       },
       kPrefix + "OpenEXR decoding failed: the image has neither R, G and B nor Y channels"},
      {"OpenEXR luminance with chroma", "yc.exr",
       [](const auto& p) {
         test::write_exr(p, {.width = 1,
                             .height = 1,
                             .channels = {"Y", "RY", "BY"},
                             .samples = {0.5f, 0.1f, 0.2f}});
       },
       kPrefix + "OpenEXR decoding failed: luminance-chroma (Y, RY, BY) images are not supported"},
      {"OpenEXR float NaN", "nan.exr", exr_with(std::nanf(""), false), nan_text},
      {"OpenEXR float infinity", "inf.exr", exr_with(kInf, false), nan_text},
      {"OpenEXR half negative infinity", "ninf.exr", exr_with(-kInf, true), nan_text},
      {"OpenEXR half NaN", "hnan.exr", exr_with(std::nanf(""), true), nan_text},
      {"not Radiance content", "a.hdr", bytes("#?RADIANCEX\nFORMAT=32-bit_rle_rgbe\n\n"),
       kPrefix + "Radiance HDR decoding failed: not a Radiance HDR file"},
      {"Radiance without format line", "a.hdr", bytes("#?RADIANCE\nEXPOSURE=1\n\n-Y 1 +X 1\n"),
       kPrefix +
           "Radiance HDR decoding failed: unsupported format (no FORMAT=32-bit_rle_rgbe line)"},
      {"empty Radiance file", "a.hdr", bytes(""), kPrefix + "Radiance HDR decoding failed: " + eof},
      {"Radiance header cut in its size line", "a.hdr",
       bytes("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X"),
       kPrefix + "Radiance HDR decoding failed: " + eof},
      {"truncated flat Radiance", "a.hdr",
       [rgbe](const auto& p) {
         test::write_hdr(p, {6, 5, std::vector(rgbe.begin(), rgbe.begin() + 30), false, ""});
         truncate_file(p, -2);
       },
       kPrefix + "Radiance HDR decoding failed: " + eof},
      {"truncated run-length Radiance (the decoder would spin)", "a.hdr",
       [rgbe](const auto& p) {
         test::write_hdr(p, {40, 30, rgbe, true, ""});
         truncate_file(p, -7);
       },
       kPrefix + "Radiance HDR decoding failed: " + eof},
      {"Radiance with zero width", "a.hdr",
       [](const auto& p) {
         test::write_hdr(p, {0, 0, {}, false, "-Y 3 +X 0"});
       },
       kPrefix + "Radiance HDR decoding failed: invalid image size"},
      {"Radiance beyond the size limit", "big.hdr",
       [](const auto& p) {
         test::write_hdr(p, {0, 0, {}, false, "-Y 20000 +X 20000"});
       },
       kPrefix + "image of 20000 x 20000 pixels is larger than the decoding limit of 536870912 "
                 "bytes"},
  };
}

TEST(DecodeGeneralTest, FailuresNameTheirCause) {
  for (const FailureCase& c : failure_cases()) {
    TempDir dir;
    std::filesystem::path path = dir / c.file_name;
    if (c.prepare) c.prepare(path);
    Decoded<DecodedImage> image = decode_general(path);
    ASSERT_FALSE(image.has_value()) << c.name;
    if (c.prefix_only) {
      EXPECT_TRUE(image.error().message.starts_with(c.message))
          << c.name << ": " << image.error().message;
      EXPECT_GT(image.error().message.size(), c.message.size()) << c.name;
    } else {
      EXPECT_EQ(image.error().message, c.message) << c.name;
    }
  }
}

// Every proper prefix of a valid file is refused, never decoded from made-up data, and none
// crashes or hangs a decoder.
TEST(DecodeGeneralTest, EveryPrefixOfAFileFailsCleanly) {
  struct PrefixCase {
    const char* name;
    const char* file_name;
    std::function<void(const std::filesystem::path&)> write;
  };
  std::vector<std::array<std::uint8_t, 4>> rgbe(9 * 2, {90, 10, 200, 130});
  rgbe[3] = {1, 2, 3, 4};
  const PrefixCase cases[] = {
      {"WebP", "a.webp",
       [](const auto& p) { test::write_webp(p, 9, 4, 4, rgba_with_alpha(9, 4)); }},
      {"animated WebP", "a.webp",
       [](const auto& p) {
         test::write_animated_webp(p, 3, 2, {rgba_with_alpha(3, 2), rgba_with_alpha(3, 2)});
       }},
      {"OpenEXR", "a.exr",
       [](const auto& p) {
         test::write_exr(p, {.width = 3,
                             .height = 2,
                             .channels = {"R", "G", "B"},
                             .samples = std::vector<float>(18, 0.25f)});
       }},
      {"Radiance flat", "a.hdr",
       [rgbe](const auto& p) {
         test::write_hdr(p, {3, 6, rgbe, false, ""});
       }},
      {"Radiance run-length", "a.hdr",
       [rgbe](const auto& p) {
         test::write_hdr(p, {9, 2, rgbe, true, ""});
       }},
  };
  for (const PrefixCase& c : cases) {
    TempDir dir;
    std::filesystem::path path = dir / c.file_name;
    c.write(path);
    Bytes whole = test::read_file(path);
    ASSERT_TRUE(decode_general(path).has_value()) << c.name;
    for (std::size_t size = 0; size < whole.size(); ++size) {
      test::write_file(path, Bytes(whole.begin(), whole.begin() + static_cast<long>(size)));
      Decoded<DecodedImage> image = decode_general(path);
      ASSERT_FALSE(image.has_value()) << c.name << " cut to " << size << " bytes";
      EXPECT_TRUE(image.error().message.starts_with(kPrefix)) << image.error().message;
    }
  }
}

TEST(DecodeGeneralTest, DirectoryNamedLikeAnImageFailsAsARead) {
  TempDir dir;
  std::filesystem::create_directory(dir / "d.exr");
  std::filesystem::create_directory(dir / "d.webp");
  std::filesystem::create_directory(dir / "d.hdr");
  for (const char* name : {"d.exr", "d.webp", "d.hdr"}) {
    Decoded<DecodedImage> image = decode_general(dir / name);
    ASSERT_FALSE(image.has_value()) << name;
    EXPECT_TRUE(image.error().message.starts_with(kPrefix)) << image.error().message;
  }
}

// The executable on general-path pairs: the score line, and failures with status 101 and
// nothing on standard output.
TEST(DecodeGeneralTest, ExecutableScoresAndRefusesGeneralPathFiles) {
  TempDir dir;
  const std::uint32_t w = 32;
  const std::uint32_t h = 24;
  Bytes rgba = rgba_with_alpha(w, h);
  Bytes rgb;
  for (std::size_t i = 0; i < rgba.size(); ++i) {
    if (i % 4 != 3) rgb.push_back(rgba[i]);
  }
  test::write_webp(dir / "alpha.webp", w, h, 4, rgba);
  test::write_webp(dir / "opaque.webp", w, h, 3, rgb);
  std::vector<float> source;
  std::vector<float> distorted;
  for (std::size_t i = 0; i < rgb.size(); ++i) {
    source.push_back(rgb[i] / 255.0f);
    distorted.push_back(rgb[i] / 255.0f + ((i / 3) % 5 == 0 ? 0.125f : 0.0f));
  }
  test::write_exr(dir / "source.exr",
                  {.width = 32, .height = 24, .channels = {"R", "G", "B"}, .samples = source});
  test::write_exr(dir / "distorted.exr",
                  {.width = 32, .height = 24, .channels = {"R", "G", "B"}, .samples = distorted});
  distorted[40] = std::nanf("");
  test::write_exr(dir / "nan.exr",
                  {.width = 32, .height = 24, .channels = {"R", "G", "B"}, .samples = distorted});
  test::write_hdr(
      dir / "a.hdr",
      {w, h, std::vector(w * h, std::array<std::uint8_t, 4>{200, 100, 50, 128}), true, ""});
  test::write_file(dir / "a.tif", Bytes{'I', 'I', 42, 0});
  auto at = [&](const char* name) { return (dir / name).string(); };

  struct RunCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string out;  // a score line other than 100 is checked by its form only
    std::string err;
  };
  const RunCase cases[] = {
      {"identical WebP",
       {"image", at("alpha.webp"), at("alpha.webp")},
       0,
       "Score: 100.00000000\n",
       ""},
      {"alpha dropped, not composited",
       {"image", at("opaque.webp"), at("alpha.webp")},
       0,
       "Score: 100.00000000\n",
       ""},
      {"identical Radiance HDR",
       {"image", at("a.hdr"), at("a.hdr"), "--no-icc"},
       0,
       "Score: 100.00000000\n",
       ""},
      {"differing OpenEXR", {"image", at("source.exr"), at("distorted.exr")}, 0, "", ""},
      {"missing source",
       {"image", at("missing.webp"), at("alpha.webp")},
       101,
       "",
       kPrefix + "No such file or directory (os error 2)\n"},
      {"NaN in distorted",
       {"image", at("source.exr"), at("nan.exr")},
       101,
       "",
       kPrefix + "the image holds NaN or infinite sample values\n"},
      {"unsupported format",
       {"image", at("alpha.webp"), at("a.tif")},
       101,
       "",
       kPrefix + "unsupported image format \"tif\"\n"},
  };
  for (const RunCase& c : cases) {
    test::RunResult result = test::run_velquon(c.args);
    EXPECT_EQ(result.status, c.status) << c.name;
    EXPECT_EQ(result.err, c.err) << c.name;
    if (c.status == 0 && c.out.empty()) {
      EXPECT_TRUE(result.out.starts_with("Score: ") && result.out.ends_with("\n") &&
                  result.out != "Score: 100.00000000\n")
          << c.name << ": " << result.out;
    } else {
      EXPECT_EQ(result.out, c.out) << c.name;
    }
  }
}

}  // namespace
}  // namespace velquon
