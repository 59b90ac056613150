// Broken and hostile files through the executable: each must end with its failure message and
// status, nothing on standard output, within bounded memory and time.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "broken_files.h"
#include "fixtures.h"
#include "fixtures_general.h"
#include "subprocess.h"

namespace velquon {
namespace {

using test::Bytes;
using test::deflate;
using test::expect_refused;
using test::find;
using test::limited;
using test::png_chunk;
using test::prefix;
using test::put_be32;
using test::raw_png;

class BrokenInputTest : public testing::Test {
 protected:
  BrokenInputTest() {
    test::PngSpec png;
    png.width = 16;
    png.height = 16;
    for (std::uint8_t v : test::gradient_rgb8(16, 16, 3, 1)) png.samples.push_back(v);
    test::write_png(dir_ / "good.png", png);
    png_ = test::read_file(dir_ / "good.png");

    for (bool progressive : {false, true}) {
      test::JpegSpec jpeg;
      jpeg.width = 64;
      jpeg.height = 48;
      jpeg.progressive = progressive;
      jpeg.samples = test::gradient_rgb8(64, 48, 3, 2);
      test::write_jpeg(dir_ / "good.jpg", jpeg);
      (progressive ? progressive_jpeg_ : jpeg_) = test::read_file(dir_ / "good.jpg");
    }
  }

  // The PNG with one chunk's bytes changed and its CRC left as it was.
  Bytes png_with_bad_crc(const char* type) const {
    Bytes bytes = png_;
    bytes[find(bytes, type) + 4] ^= 0x01;
    return bytes;
  }

  // The JPEG with its frame header announcing another size.
  static Bytes jpeg_sized(Bytes bytes, std::uint8_t sof, std::uint16_t width,
                          std::uint16_t height) {
    std::size_t at = find(bytes, std::string{'\xFF', static_cast<char>(sof)});
    bytes[at + 5] = height >> 8;
    bytes[at + 6] = height & 0xFF;
    bytes[at + 7] = width >> 8;
    bytes[at + 8] = width & 0xFF;
    return bytes;
  }

  std::filesystem::path write(const std::string& name, const Bytes& bytes) {
    const auto path = dir_ / name;
    test::write_file(path, bytes);
    return path;
  }

  test::TempDir dir_;
  Bytes png_;
  Bytes jpeg_;
  Bytes progressive_jpeg_;
};

struct Failure {
  std::string name;
  std::string file_name;
  std::function<Bytes()> contents;
  std::string message_prefix;
};

const std::string kPngInfo = "Failed to read PNG info: ";
const std::string kPngFrame = "Failed to decode PNG frame: ";
const std::string kJpeg = "Failed to decode JPEG: ";
const std::string kGeneral = "Failed to open image file: ";

TEST_F(BrokenInputTest, EmptyFileOfEveryExtension) {
  const std::pair<const char*, std::string> cases[] = {
      {"e.png", kPngInfo + "unexpected end of file"},
      {"e.PNG", kPngInfo + "unexpected end of file"},
      {"e.jpg", kJpeg},
      {"e.jpeg", kJpeg},
      {"e.apng", kGeneral},
      {"e.jfif", kGeneral},
      {"e.webp", kGeneral + "WebP decoding failed: unexpected end of file"},
      {"e.exr", kGeneral + "OpenEXR decoding failed: "},
      {"e.hdr", kGeneral + "Radiance HDR decoding failed: "},
      {"e.tif", kGeneral + "unsupported image format \"tif\""},
      {"e", kGeneral + "unsupported image format (the file name has no extension)"},
  };
  for (const auto& [name, message] : cases) {
    SCOPED_TRACE(name);
    expect_refused(write(name, {}).string(), message);
  }
}

TEST_F(BrokenInputTest, BrokenFilesEndWithTheirMessage) {
  const std::size_t png_idat = find(png_, "IDAT");
  const std::size_t jpeg_scan = find(jpeg_, "\xFF\xDA");
  // A zlib stream of a single row, far too little for the rows the header announces.
  const Bytes one_row(1 + 4 * 16, 0);
  Bytes exr;
  {
    test::write_exr(dir_ / "x.exr", {.width = 4,
                                     .height = 4,
                                     .channels = {"R", "G", "B"},
                                     .samples = std::vector<float>(48, 0.5f)});
    exr = test::read_file(dir_ / "x.exr");
  }
  // The data window: "dataWindow", NUL, "box2i", NUL, size, then x min, y min, x max, y max.
  auto exr_window = [exr](std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
    Bytes b = exr;
    std::size_t at = find(b, "dataWindow") + 11 + 6 + 4;
    for (std::int32_t v : {x0, y0, x1, y1}) {
      std::memcpy(&b[at], &v, 4);  // little-endian on every supported machine
      at += 4;
    }
    return b;
  };
  Bytes hdr_rle;
  {
    std::vector<std::array<std::uint8_t, 4>> rgbe(16 * 2, {128, 64, 32, 129});
    test::write_hdr(dir_ / "x.hdr", {16, 2, rgbe, true, ""});
    hdr_rle = test::read_file(dir_ / "x.hdr");
  }
  Bytes webp;
  {
    test::write_webp(dir_ / "x.webp", 8, 8, 3, test::gradient_rgb8(8, 8, 3, 3));
    webp = test::read_file(dir_ / "x.webp");
  }

  const Failure cases[] = {
      {"PNG cut inside the signature", "a.png", [&] { return prefix(png_, 5); },
       kPngInfo + "unexpected end of file"},
      {"PNG cut inside the header", "a.png", [&] { return prefix(png_, 8 + 12); },
       kPngInfo + "unexpected end of file"},
      {"PNG cut inside a chunk", "a.png", [&] { return prefix(png_, png_idat + 2); },
       kPngInfo + "unexpected end of file"},
      {"PNG cut inside the image data", "a.png", [&] { return prefix(png_, png_idat + 40); },
       kPngFrame},
      {"PNG header CRC wrong", "a.png", [&] { return png_with_bad_crc("IHDR"); },
       kPngInfo + "IHDR: CRC error"},
      {"PNG image data CRC wrong", "a.png", [&] { return png_with_bad_crc("IDAT"); }, kPngFrame},
      {"PNG announcing 65535 x 65535", "a.png", [&] { return raw_png(65535, 65535, 6, one_row); },
       kPngFrame},
      {"PNG announcing 1000000 x 1", "a.png", [&] { return raw_png(1000000, 1, 6, one_row); },
       kPngFrame},
      {"PNG whose profile inflates past 64 MiB", "a.png",
       [&] {
         Bytes iccp = {'p', 0, 0};
         const Bytes packed = deflate(Bytes(0x4000000 + 4096, 0));
         iccp.insert(iccp.end(), packed.begin(), packed.end());
         return raw_png(1, 1, 2, {0, 1, 2, 3}, {png_chunk("iCCP", iccp)});
       },
       kPngInfo + "iCCP: profile exceeds the limit of 67108864 bytes"},
      {"JPEG cut inside the header", "a.jpg", [&] { return prefix(jpeg_, 30); }, kJpeg},
      {"JPEG cut inside the scan", "a.jpg", [&] { return prefix(jpeg_, jpeg_scan + 200); }, kJpeg},
      {"progressive JPEG cut inside a scan", "a.jpg",
       [&] { return prefix(progressive_jpeg_, progressive_jpeg_.size() - 100); }, kJpeg},
      {"JPEG announcing 65500 x 65500", "a.jpg",
       [&] { return jpeg_sized(jpeg_, 0xC0, 65500, 65500); }, kJpeg},
      {"progressive JPEG announcing 65500 x 65500", "a.jpg",
       [&] { return jpeg_sized(progressive_jpeg_, 0xC2, 65500, 65500); },
       kJpeg + "Backing store not supported"},
      {"JPEG announcing 65535 x 65535", "a.jpg",
       [&] { return jpeg_sized(jpeg_, 0xC0, 65535, 65535); }, kJpeg},
      {"WebP with a broken header", "a.webp",
       [&] {
         Bytes b = webp;
         std::memcpy(&b[12], "VP8?", 4);
         return b;
       },
       kGeneral + "WebP decoding failed: "},
      {"WebP whose RIFF size is 4 GiB", "a.webp",
       [&] {
         Bytes b = webp;
         b[4] = b[5] = b[6] = b[7] = 0xFF;
         return b;
       },
       kGeneral + "WebP decoding failed: unexpected end of file"},
      {"OpenEXR with an enormous data window", "a.exr",
       [&] { return exr_window(0, 0, 0x3FFFFFFE, 0x3FFFFFFE); }, kGeneral},
      {"OpenEXR with a tall data window", "a.exr", [&] { return exr_window(0, 0, 0, 0x3FFFFFFE); },
       kGeneral},
      {"OpenEXR with a negative data window", "a.exr", [&] { return exr_window(0, 0, -5, -5); },
       kGeneral + "OpenEXR decoding failed: "},
      {"OpenEXR with a window at the integer limits", "a.exr",
       [&] { return exr_window(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX); }, kGeneral},
      {"Radiance HDR with a corrupt run length", "a.hdr",
       [&] {
         Bytes b = hdr_rle;
         b[find(b, std::string("\x02\x02\x00\x10", 4)) + 4] = 0xFF;  // a run of 127 in a row of 16
         return b;
       },
       kGeneral + "Radiance HDR decoding failed: "},
  };
  for (const Failure& c : cases) {
    SCOPED_TRACE(c.name);
    expect_refused(write(c.file_name, c.contents()).string(), c.message_prefix);
  }
}

// What is wrong here is not fatal: a warning, or a file read in a way the format allows.
TEST_F(BrokenInputTest, DamagedButUsableFilesScore) {
  auto tagged_png = [&](const Bytes& profile) {
    Bytes iccp = {'p', 0, 0};
    const Bytes packed = deflate(profile);
    iccp.insert(iccp.end(), packed.begin(), packed.end());
    Bytes raw;
    for (int y = 0; y < 8; ++y) {
      raw.push_back(0);
      for (int x = 0; x < 24; ++x) raw.push_back(static_cast<std::uint8_t>(x * 10 + y));
    }
    return raw_png(8, 8, 2, raw, {png_chunk("iCCP", iccp)});
  };
  const Bytes srgb = test::system_profile("AdobeRGB1998.icc");
  Bytes huge = srgb;
  put_be32(huge, 0, 0xFFFFFFF0);  // the header claims 4 GiB
  Bytes big_padded = srgb;
  big_padded.resize(48 << 20, 0);  // a real profile behind 48 MiB of padding
  put_be32(big_padded, 0, static_cast<std::uint32_t>(big_padded.size()));
  Bytes wrong_space = srgb;
  std::memcpy(&wrong_space[16], "CMYK", 4);
  const std::string parse_warning = "Warning: failed to parse ICC profile (";

  const Failure cases[] = {
      // Little CMS reads a profile whose header claims more than it holds as far as it goes.
      {"profile claiming 4 GiB", "a.png", [&] { return tagged_png(huge); }, ""},
      {"profile of 48 MiB", "a.png", [&] { return tagged_png(big_padded); }, ""},
      {"profile cut short", "a.png", [&] { return tagged_png(prefix(srgb, 100)); }, parse_warning},
      {"profile with a wrong colour space", "a.png", [&] { return tagged_png(wrong_space); },
       "Warning: "},
      {"CMYK JPEG without the Adobe marker", "a.jpg",
       [&] {
         test::JpegSpec cmyk;
         cmyk.width = 16;
         cmyk.height = 16;
         cmyk.components = 4;
         cmyk.adobe_marker = false;
         cmyk.samples = test::gradient_rgb8(16, 16, 4, 5);
         test::write_jpeg(dir_ / "cmyk.jpg", cmyk);
         return test::read_file(dir_ / "cmyk.jpg");
       },
       ""},
  };
  for (const Failure& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = write(c.file_name, c.contents()).string();
    const auto result = test::run_velquon({"image", path, path}, limited());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Score: 100.00000000\n");
    EXPECT_TRUE(result.err.starts_with(c.message_prefix)) << result.err;
  }
}

// Values far outside 0..1 go through every curve and conversion without undefined behaviour
// (the sanitizer build proves it) and still give a score.
TEST_F(BrokenInputTest, ExtremeFloatSamplesScore) {
  std::vector<float> ordinary(16 * 16 * 3);
  std::vector<float> extreme(16 * 16 * 3);
  for (std::size_t i = 0; i < ordinary.size(); ++i) {
    ordinary[i] = static_cast<float>(i % 7) / 7.0f;
    const float values[] = {1e30f, -1e30f, 3.4e38f, -3.4e38f, 1e-40f, 0.5f};
    extreme[i] = values[i % 6];
  }
  const auto source = dir_ / "ordinary.exr";
  const auto distorted = dir_ / "extreme.exr";
  test::write_exr(source,
                  {.width = 16, .height = 16, .channels = {"R", "G", "B"}, .samples = ordinary});
  test::write_exr(distorted,
                  {.width = 16, .height = 16, .channels = {"R", "G", "B"}, .samples = extreme});
  for (const auto& [a, b] : {std::pair{source, distorted}, std::pair{distorted, source},
                             std::pair{distorted, distorted}}) {
    const auto result = test::run_velquon({"image", a.string(), b.string()}, limited());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(result.out.starts_with("Score: ")) << result.out;
    EXPECT_EQ(result.err, "");
  }
}

TEST_F(BrokenInputTest, PathsThatAreNotImageFiles) {
  std::filesystem::create_directory(dir_ / "dir.png");
  std::filesystem::create_directory(dir_ / "dir.jpg");
  std::filesystem::create_directory(dir_ / "dir.webp");
  const auto missing = (dir_ / "missing").string();
  const std::string no_entry = "No such file or directory (os error 2)";
  const std::string is_dir = "Is a directory (os error 21)";
  const std::pair<std::string, std::string> cases[] = {
      {(dir_ / "dir.png").string(), kPngInfo + is_dir},
      {(dir_ / "dir.jpg").string(), kJpeg + is_dir},
      {(dir_ / "dir.webp").string(), kGeneral + "WebP decoding failed: read error: " + is_dir},
      {"/dev/null", kGeneral + "unsupported image format (the file name has no extension)"},
      {missing + ".png", "Failed to open PNG file: " + no_entry},
      {missing + ".jpeg", "Failed to open JPEG file: " + no_entry},
      {missing + ".exr", kGeneral + no_entry},
      {(dir_ / "\xff\xfe.png").string(), "Failed to open PNG file: " + no_entry},
      {(dir_ / "\xc3\x28.hdr").string(), kGeneral + no_entry},
  };
  for (const auto& [path, message] : cases) {
    SCOPED_TRACE(path);
    expect_refused(path, message);
  }
}

TEST_F(BrokenInputTest, UnreadableFile) {
  const auto path = write("locked.png", png_);
  chmod(path.c_str(), 0);
  if (access(path.c_str(), R_OK) == 0) GTEST_SKIP() << "running as root: the file stays readable";
  expect_refused(path.string(), "Failed to open PNG file: Permission denied (os error 13)");
}

}  // namespace
}  // namespace velquon
