#pragma once

// Byte-level builders and the shared expectations of the broken-file tests: files assembled or
// damaged on purpose, run through the executable under limits.
#include <cstdint>
#include <string>
#include <vector>

#include "fixtures.h"
#include "subprocess.h"

namespace velquon::test {

// Every run gets these limits, so a decompression bomb or a decoder loop fails the test instead
// of the machine. AddressSanitizer reserves far more address space than any limit allows.
RunOptions limited();

void put_be32(Bytes& bytes, std::size_t at, std::uint32_t value);

// One PNG chunk: length, type, payload and its CRC.
Bytes png_chunk(const char* type, const Bytes& payload);

// zlib's compress2 at level 9.
Bytes deflate(const Bytes& raw);

// A PNG assembled chunk by chunk: signature, IHDR (bit depth 8), the extra chunks, IDAT of
// `idat_raw` deflated, IEND.
Bytes raw_png(std::uint32_t width, std::uint32_t height, std::uint8_t colour_type,
              const Bytes& idat_raw, const std::vector<Bytes>& extra = {});

// The offset of the first `text` at or after `from`; throws when there is none.
std::size_t find(const Bytes& bytes, const std::string& text, std::size_t from = 0);

// The first n bytes.
Bytes prefix(const Bytes& bytes, std::size_t n);

// `path` given as both images ends with status 101, nothing on standard output and one line on
// standard error that begins with `message_prefix`, within the limits above.
void expect_refused(const std::string& path, const std::string& message_prefix);

}  // namespace velquon::test
