#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velquon::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

Bytes read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const Bytes& bytes);

struct PngSpec {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int color_type = 2;  // PNG colour type: 0, 2, 3, 4 or 6
  int bit_depth = 8;
  // Samples in image order, one entry per sample (8-bit values, or 16-bit values for depth 16;
  // palette indices for type 3; unpacked low-depth grey values for depths 1, 2, 4).
  std::vector<std::uint16_t> samples;
  std::vector<std::uint8_t> palette;  // RGB triples for colour type 3
  std::vector<std::uint8_t> trns;     // raw tRNS payload
  bool interlaced = false;
  std::optional<double> gamma;       // gAMA chunk
  std::optional<Bytes> icc_profile;  // iCCP payload before compression, written as is
};

// Writes the PNG with libpng; the iCCP chunk is written raw, so invalid profiles get through.
void write_png(const std::filesystem::path& path, const PngSpec& spec);

struct JpegSpec {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int components = 3;  // 1 grey, 3 RGB, 4 CMYK
  bool ycck = false;   // 4 components stored as YCCK
  int quality = 95;
  bool progressive = false;
  bool arithmetic = false;
  bool adobe_marker = true;  // for 4 components; libjpeg writes it by default
  // Samples, components per pixel, as libjpeg takes them (CMYK bytes as stored: the usual
  // writers store them inverted, 255 = no ink).
  Bytes samples;
  std::optional<Bytes> icc_profile;
  std::size_t icc_chunk_size = 65519;  // bytes of profile per APP2 segment
};

void write_jpeg(const std::filesystem::path& path, const JpegSpec& spec);

// Deterministic test image: a smooth gradient with texture, 8-bit interleaved RGB(A).
Bytes gradient_rgb8(std::uint32_t width, std::uint32_t height, int channels, std::uint32_t seed);

// Deterministic random bytes, e.g. a "profile" that no colour-management library can read.
Bytes random_bytes(std::size_t n, std::uint32_t seed);

// The display text of Little CMS's object-creation failure, as warnings show it.
inline const std::string kObjectCreationText =
    "Could not create the object.\n"
    "The reason is not known, but it's usually caused by wrong input parameters.";

// Reads an ICC profile shipped by a Debian package (colord-data, icc-profiles-free, ghostscript).
Bytes system_profile(const std::string& name);

// Converts interleaved 8-bit sRGB triples into the colour space of an RGB `profile` with Little
// CMS (relative colorimetric), as an editor does before tagging a file with that profile.
Bytes srgb8_to_profile(const Bytes& profile, const Bytes& rgb);

// Runs `body` with this process's standard error sent to a temporary file and returns what was
// written to it.
std::string capture_stderr(const std::function<void()>& body);

}  // namespace velquon::test
