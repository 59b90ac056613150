#include "broken_files.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include <gtest/gtest.h>

namespace velquon::test {

RunOptions limited() {
  RunOptions options;
  options.cpu_limit_seconds = 10;
#ifndef VELQUON_SANITIZED
  options.memory_limit_bytes = 2L << 30;
#endif
  return options;
}

void put_be32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

Bytes png_chunk(const char* type, const Bytes& payload) {
  Bytes chunk(8);
  put_be32(chunk, 0, static_cast<std::uint32_t>(payload.size()));
  std::memcpy(chunk.data() + 4, type, 4);
  chunk.insert(chunk.end(), payload.begin(), payload.end());
  chunk.resize(chunk.size() + 4);
  put_be32(chunk, chunk.size() - 4,
           static_cast<std::uint32_t>(crc32(0, chunk.data() + 4, payload.size() + 4)));
  return chunk;
}

Bytes deflate(const Bytes& raw) {
  uLongf size = compressBound(raw.size());
  Bytes out(size);
  if (compress2(out.data(), &size, raw.data(), raw.size(), 9) != Z_OK) {
    throw std::runtime_error("compress failed");
  }
  out.resize(size);
  return out;
}

Bytes raw_png(std::uint32_t width, std::uint32_t height, std::uint8_t colour_type,
              const Bytes& idat_raw, const std::vector<Bytes>& extra) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr(13);
  put_be32(ihdr, 0, width);
  put_be32(ihdr, 4, height);
  ihdr[8] = 8;
  ihdr[9] = colour_type;
  for (const Bytes& part : {png_chunk("IHDR", ihdr)})
    png.insert(png.end(), part.begin(), part.end());
  for (const Bytes& part : extra) png.insert(png.end(), part.begin(), part.end());
  for (const Bytes& part : {png_chunk("IDAT", deflate(idat_raw)), png_chunk("IEND", {})}) {
    png.insert(png.end(), part.begin(), part.end());
  }
  return png;
}

std::size_t find(const Bytes& bytes, const std::string& text, std::size_t from) {
  auto at = std::search(bytes.begin() + from, bytes.end(), text.begin(), text.end(),
                        [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
  if (at == bytes.end()) throw std::runtime_error("not found: " + text);
  return static_cast<std::size_t>(at - bytes.begin());
}

Bytes prefix(const Bytes& bytes, std::size_t n) { return Bytes(bytes.begin(), bytes.begin() + n); }

void expect_refused(const std::string& path, const std::string& message_prefix) {
  const auto start = std::chrono::steady_clock::now();
  const auto result = run_velquon({"image", path, path}, limited());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.status, 101);
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(result.err.starts_with(message_prefix)) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  EXPECT_LT(seconds, 10.0);
}

}  // namespace velquon::test
