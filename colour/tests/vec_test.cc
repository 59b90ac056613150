#include "colour/vec.h"

#include <gtest/gtest.h>

#include "colour/pixel_buffer.h"

namespace colour {
namespace {

TEST(Vec, ZeroedHoldsZeroBits) {
  const auto v = Vec<float>::zeroed(5);
  ASSERT_EQ(v.size(), 5u);
  for (float x : v.span()) EXPECT_EQ(std::bit_cast<std::uint32_t>(x), 0u);
  EXPECT_TRUE(Vec<float>::zeroed(0).empty());
}

TEST(Vec, TruncateOnlyShortens) {
  auto v = Vec<int>::zeroed(4);
  const int* storage = v.data();
  v.truncate(6);
  EXPECT_EQ(v.size(), 4u);
  v.truncate(2);
  EXPECT_EQ(v.size(), 2u);
  EXPECT_EQ(v.capacity(), 4u);
  EXPECT_EQ(v.data(), storage);
}

TEST(Vec, CloneIsExactAndIndependent) {
  auto source = Vec<Pixel>::with_capacity(8);
  source.push_back({1.0f, 2.0f, 3.0f});
  source.push_back({4.0f, 5.0f, 6.0f});
  auto copy = source.clone();
  EXPECT_EQ(copy.capacity(), 2u);
  copy[1][2] = -1.0f;
  EXPECT_EQ(source[1][2], 6.0f);
  EXPECT_EQ(copy[0], source[0]);

  const auto empty = Vec<Pixel>().clone();
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(empty.data(), nullptr);
}

TEST(Vec, AtPastTheEndIsABrokenInvariant) {
  auto v = Vec<int>::zeroed(3);
  EXPECT_EQ(v.at(2), 0);
  try {
    v.at(3);
    FAIL() << "no InvariantError";
  } catch (const InvariantError& e) {
    EXPECT_STREQ(e.what(), "index out of bounds: the len is 3 but the index is 3");
  }
}

TEST(CheckedByteSize, OverflowAndOversizeAreBrokenInvariants) {
  EXPECT_EQ(max_buffer_bytes(alignof(float)), 0x7FFFFFFFFFFFFFFCull);
  EXPECT_EQ(checked_byte_size(0x1FFFFFFFFFFFFFFFull, 4, 4), 0x7FFFFFFFFFFFFFFCull);
  EXPECT_THROW(checked_byte_size(0x2000000000000000ull, 4, 4), InvariantError);
  EXPECT_THROW(checked_byte_size(0x4000000000000000ull, 12, 4), InvariantError);
  EXPECT_THROW(Vec<Pixel>::zeroed(0x1555555555555556ull), InvariantError);
}

}  // namespace
}  // namespace colour
