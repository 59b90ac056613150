#include "fixtures.h"

#include <jpeglib.h>
#include <lcms2.h>
#include <png.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>

namespace velquon::test {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "velquon-test-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

Bytes read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

namespace {

int png_channels(int color_type) {
  switch (color_type) {
    case 0:
    case 3:
      return 1;
    case 2:
      return 3;
    case 4:
      return 2;
    default:
      return 4;
  }
}

Bytes zlib_compress(const Bytes& data) {
  uLongf size = compressBound(data.size());
  Bytes out(size);
  if (compress2(out.data(), &size, data.data(), data.size(), 9) != Z_OK) {
    throw std::runtime_error("compress failed");
  }
  out.resize(size);
  return out;
}

// Packs one row of unpacked samples into the PNG row layout.
Bytes pack_row(const PngSpec& spec, std::size_t row) {
  std::size_t per_row = static_cast<std::size_t>(spec.width) * png_channels(spec.color_type);
  const std::uint16_t* s = spec.samples.data() + row * per_row;
  Bytes out;
  if (spec.bit_depth == 16) {
    for (std::size_t i = 0; i < per_row; ++i) {
      out.push_back(static_cast<std::uint8_t>(s[i] >> 8));
      out.push_back(static_cast<std::uint8_t>(s[i] & 0xFF));
    }
  } else if (spec.bit_depth == 8) {
    for (std::size_t i = 0; i < per_row; ++i) out.push_back(static_cast<std::uint8_t>(s[i]));
  } else {
    int per_byte = 8 / spec.bit_depth;
    out.assign((per_row + per_byte - 1) / per_byte, 0);
    for (std::size_t i = 0; i < per_row; ++i) {
      int shift = 8 - spec.bit_depth * static_cast<int>(i % per_byte + 1);
      out[i / per_byte] |= static_cast<std::uint8_t>(s[i] << shift);
    }
  }
  return out;
}

}  // namespace

void write_png(const std::filesystem::path& path, const PngSpec& spec) {
  std::size_t expected =
      static_cast<std::size_t>(spec.width) * spec.height * png_channels(spec.color_type);
  if (spec.samples.size() != expected) throw std::runtime_error("PngSpec: wrong sample count");
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot create " + path.string());
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<Bytes> rows;
  for (std::size_t y = 0; y < spec.height; ++y) rows.push_back(pack_row(spec, y));
  std::vector<png_bytep> row_ptrs;
  for (auto& r : rows) row_ptrs.push_back(r.data());
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    throw std::runtime_error("libpng write failed");
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, spec.width, spec.height, spec.bit_depth, spec.color_type,
               spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (spec.gamma) png_set_gAMA(png, info, *spec.gamma);
  if (!spec.palette.empty()) {
    std::vector<png_color> pal;
    for (std::size_t i = 0; i + 2 < spec.palette.size(); i += 3) {
      pal.push_back({spec.palette[i], spec.palette[i + 1], spec.palette[i + 2]});
    }
    png_set_PLTE(png, info, pal.data(), static_cast<int>(pal.size()));
  }
  if (!spec.trns.empty()) {
    if (spec.color_type == 3) {
      png_set_tRNS(png, info, spec.trns.data(), static_cast<int>(spec.trns.size()), nullptr);
    } else {
      png_color_16 c{};
      c.gray = static_cast<png_uint_16>((spec.trns[0] << 8) | spec.trns.at(1));
      if (spec.trns.size() >= 6) {
        c.red = c.gray;
        c.green = static_cast<png_uint_16>((spec.trns[2] << 8) | spec.trns[3]);
        c.blue = static_cast<png_uint_16>((spec.trns[4] << 8) | spec.trns[5]);
      }
      png_set_tRNS(png, info, nullptr, 0, &c);
    }
  }
  png_write_info_before_PLTE(png, info);
  if (spec.icc_profile) {
    // Name, NUL, compression method 0, then the deflated profile; libpng would refuse to write
    // profiles it considers invalid, and tests need exactly those.
    Bytes chunk = {'t', 'e', 's', 't', 0, 0};
    Bytes z = zlib_compress(*spec.icc_profile);
    chunk.insert(chunk.end(), z.begin(), z.end());
    png_write_chunk(png, reinterpret_cast<png_const_bytep>("iCCP"), chunk.data(), chunk.size());
  }
  png_write_info(png, info);
  png_write_image(png, row_ptrs.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

void write_jpeg(const std::filesystem::path& path, const JpegSpec& spec) {
  if (spec.samples.size() != static_cast<std::size_t>(spec.width) * spec.height * spec.components) {
    throw std::runtime_error("JpegSpec: wrong sample count");
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot create " + path.string());
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = spec.width;
  cinfo.image_height = spec.height;
  cinfo.input_components = spec.components;
  cinfo.in_color_space = spec.components == 1   ? JCS_GRAYSCALE
                         : spec.components == 3 ? JCS_RGB
                                                : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  if (spec.components == 4) jpeg_set_colorspace(&cinfo, spec.ycck ? JCS_YCCK : JCS_CMYK);
  if (spec.components == 4 && !spec.adobe_marker) cinfo.write_Adobe_marker = FALSE;
  jpeg_set_quality(&cinfo, spec.quality, TRUE);
  if (spec.progressive) jpeg_simple_progression(&cinfo);
  if (spec.arithmetic) cinfo.arith_code = TRUE;
  jpeg_start_compress(&cinfo, TRUE);
  if (spec.icc_profile) {
    const Bytes& icc = *spec.icc_profile;
    std::size_t chunk = spec.icc_chunk_size;
    std::size_t count = icc.empty() ? 1 : (icc.size() + chunk - 1) / chunk;
    for (std::size_t i = 0; i < count; ++i) {
      std::size_t begin = i * chunk;
      std::size_t len = std::min(chunk, icc.size() - std::min(begin, icc.size()));
      Bytes marker = {'I',
                      'C',
                      'C',
                      '_',
                      'P',
                      'R',
                      'O',
                      'F',
                      'I',
                      'L',
                      'E',
                      0,
                      static_cast<std::uint8_t>(i + 1),
                      static_cast<std::uint8_t>(count)};
      marker.insert(marker.end(), icc.begin() + begin, icc.begin() + begin + len);
      jpeg_write_marker(&cinfo, JPEG_APP0 + 2, marker.data(), static_cast<unsigned>(marker.size()));
    }
  }
  std::size_t stride = static_cast<std::size_t>(spec.width) * spec.components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(spec.samples.data() + cinfo.next_scanline * stride);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(f);
}

Bytes gradient_rgb8(std::uint32_t width, std::uint32_t height, int channels, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> noise(-12, 12);
  Bytes out;
  out.reserve(static_cast<std::size_t>(width) * height * channels);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      int base[4] = {static_cast<int>(40 + 170 * x / std::max(1u, width - 1)),
                     static_cast<int>(30 + 180 * y / std::max(1u, height - 1)),
                     static_cast<int>(((x / 4 + y / 4) % 2) ? 200 : 60), 255};
      for (int c = 0; c < channels; ++c) {
        int v = c < 3 ? base[c] + noise(rng) : base[3];
        out.push_back(static_cast<std::uint8_t>(std::clamp(v, 0, 255)));
      }
    }
  }
  return out;
}

Bytes random_bytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

Bytes system_profile(const std::string& name) {
  for (const char* dir : {"/usr/share/color/icc/colord/", "/usr/share/color/icc/",
                          "/usr/share/color/icc/ghostscript/", "/usr/share/color/icc/OpenICC/"}) {
    std::filesystem::path p = std::filesystem::path(dir) / name;
    if (std::filesystem::exists(p)) return read_file(p);
  }
  throw std::runtime_error("ICC profile not installed: " + name);
}

Bytes srgb8_to_profile(const Bytes& profile, const Bytes& rgb) {
  cmsHPROFILE src = cmsCreate_sRGBProfile();
  cmsHPROFILE dst =
      cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
  cmsHTRANSFORM t = dst == nullptr ? nullptr
                                   : cmsCreateTransform(src, TYPE_RGB_8, dst, TYPE_RGB_8,
                                                        INTENT_RELATIVE_COLORIMETRIC, 0);
  if (t == nullptr) throw std::runtime_error("cannot convert to the given profile");
  Bytes out(rgb.size());
  cmsDoTransform(t, rgb.data(), out.data(), static_cast<cmsUInt32Number>(rgb.size() / 3));
  cmsDeleteTransform(t);
  cmsCloseProfile(dst);
  cmsCloseProfile(src);
  return out;
}

std::string capture_stderr(const std::function<void()>& body) {
  std::fflush(stderr);
  std::FILE* sink = std::tmpfile();
  if (sink == nullptr) throw std::runtime_error("tmpfile failed");
  int saved = dup(2);
  dup2(fileno(sink), 2);
  try {
    body();
  } catch (...) {
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::fclose(sink);
    throw;
  }
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::string text;
  std::rewind(sink);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, sink)) > 0;) text.append(buffer, n);
  std::fclose(sink);
  return text;
}

}  // namespace velquon::test
