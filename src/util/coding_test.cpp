#include "util/coding.hpp"

#include <gtest/gtest.h>

#include <cstring>

namespace tavmor {
namespace {

TEST(Coding, ReadsAndWritesEachWidthInEachByteOrder) {
  const unsigned char bytes[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
  EXPECT_EQ(decodeFixed16(bytes), 0x2301u);
  EXPECT_EQ(decodeFixed32(bytes), 0x67452301u);
  EXPECT_EQ(decodeFixed64(bytes), 0xefcdab8967452301u);
  EXPECT_EQ(decodeBigEndian16(bytes), 0x0123u);
  EXPECT_EQ(decodeBigEndian32(bytes), 0x01234567u);

  unsigned char out[8] = {};
  encodeFixed64(out, 0xefcdab8967452301u);
  EXPECT_EQ(std::memcmp(out, bytes, 8), 0);
  encodeFixed32(out, 0x67452301u);
  encodeFixed16(out + 4, 0xab89u);
  EXPECT_EQ(std::memcmp(out, bytes, 6), 0);
  encodeBigEndian64(out, 0x0123456789abcdefu);
  EXPECT_EQ(std::memcmp(out, bytes, 8), 0);
  encodeBigEndian32(out, 0x01234567u);
  encodeBigEndian16(out + 4, 0x89abu);
  EXPECT_EQ(std::memcmp(out, bytes, 6), 0);
}

}  // namespace
}  // namespace tavmor
