#include "util/hex.hpp"

#include <gtest/gtest.h>

namespace tavmor {
namespace {

TEST(Hex, SpellsBytesAndNumbersInLowercaseDigits) {
  const unsigned char bytes[] = {0x00, 0x0f, 0xa0, 0xff};
  EXPECT_EQ(toHex(bytes, sizeof bytes), "000fa0ff");
  EXPECT_EQ(toHex(bytes, 0), "");
  char out[2] = {};
  encodeHex(bytes + 2, 1, out);
  EXPECT_EQ(std::string(out, 2), "a0");

  EXPECT_EQ(hexNumber(0), "0");
  EXPECT_EQ(hexNumber(0x10b), "10b");
  EXPECT_EQ(hexNumber(0x14c, 4), "014c");
  EXPECT_EQ(hexNumber(0x12345, 4), "12345");
  EXPECT_EQ(hexNumber(UINT64_MAX), "ffffffffffffffff");
}

}  // namespace
}  // namespace tavmor
