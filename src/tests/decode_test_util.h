#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fixtures.h"
#include "icc/decoded_image.h"
#include "subprocess.h"

namespace velquon::test {

inline std::vector<std::uint32_t> bits_of(std::span<const float> values) {
  std::vector<std::uint32_t> out;
  for (float v : values) out.push_back(std::bit_cast<std::uint32_t>(v));
  return out;
}

// The decoded image, or an empty one after a test failure naming the decoder's message.
template <typename Decoder>
DecodedImage decode_ok(Decoder decode, const std::filesystem::path& path, bool apply_icc) {
  auto result = decode(path, apply_icc);
  if (!result) {
    ADD_FAILURE() << result.error().message;
    return {};
  }
  return std::move(*result);
}

struct FailureCase {
  const char* name;
  std::optional<Bytes> contents;  // absent: the path is not created
  std::string message;
};

// Each file, written to `dir` under its case name and `extension`, fails with exactly its
// message, and the decoding libraries print nothing themselves.
template <typename Decoder>
void expect_failures(Decoder decode, const TempDir& dir, const std::string& extension,
                     std::span<const FailureCase> cases) {
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = dir / (std::string(c.name) + extension);
    if (c.contents) write_file(path, *c.contents);
    std::string err = capture_stderr([&] {
      auto result = decode(path, true);
      ASSERT_FALSE(result.has_value());
      EXPECT_EQ(result.error().message, c.message);
    });
    EXPECT_EQ(err, "");
  }
}

struct RunFailureCase {
  const char* name;
  std::string path;
  std::string message;
};

// Each run of the executable, with the arguments `args_for` makes from the case's path, ends
// with status 101, its message alone on standard error and nothing on standard output.
template <typename ArgsFor>
void expect_run_failures(std::span<const RunFailureCase> cases, ArgsFor args_for) {
  for (const RunFailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto run = run_velquon(args_for(c.path));
    EXPECT_EQ(run.status, 101);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.message + "\n");
  }
}

}  // namespace velquon::test
