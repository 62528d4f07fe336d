#include "peresource/version_info.hpp"

#include <gtest/gtest.h>

namespace tavmor {
namespace {

TEST(VersionNumber, IsFourNumbersOfSixteenBits) {
  EXPECT_EQ(parseVersionNumber("1.2.3.4"), (VersionNumber{1, 2, 3, 4}));
  EXPECT_EQ(parseVersionNumber("65535.0.00065.0"), (VersionNumber{65535, 0, 65, 0}));
  EXPECT_EQ(versionText({65535, 0, 65, 0}), "65535.0.65.0");
  for (const char* bad : {"", "1", "1.2.3", "1.2.3.4.5", "1..3.4", "1.2.3.", ".1.2.3",
                          "65536.0.0.0", "-1.2.3.4", "+1.2.3.4", " 1.2.3.4", "1.2.3.4 ", "1.2.3.a",
                          "0x1.2.3.4", "000001.2.3.4", "99999999999999999999.0.0.0"}) {
    EXPECT_FALSE(parseVersionNumber(bad)) << bad;
  }
}

TEST(VersionInfo, ReadsBackWhatItWritesAndNothingFromABrokenBlock) {
  VersionInfo info;
  info.fileVersion = {1, 2, 3, 4};
  info.productVersion = {5, 6, 7, 8};
  info.strings = {{u"CompanyName", u"Example Ltd"},
                  {u"FileDescription", u""},
                  {u"ProductName", u"H\u00e9llo \U0001F600"}};
  const std::vector<unsigned char> block = *encodeVersionInfo(info);
  EXPECT_EQ(block.size() % 4, 0u);
  const auto back = decodeVersionInfo(block.data(), block.size());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->fileVersion, info.fileVersion);
  EXPECT_EQ(back->productVersion, info.productVersion);
  EXPECT_EQ(back->table, u"040904B0");
  EXPECT_EQ(back->strings, info.strings);

  // Every shorter read, and every byte changed, stays inside the block (the sanitizers watch).
  for (std::size_t length = 0; length < block.size(); ++length) {
    EXPECT_FALSE(decodeVersionInfo(block.data(), length)) << length;
  }
  for (std::size_t i = 0; i < block.size(); ++i) {
    for (const unsigned char value : {0x00, 0x03, 0xff}) {
      std::vector<unsigned char> changed = block;
      changed[i] = value;
      (void)decodeVersionInfo(changed.data(), changed.size());
    }
  }
}

// The block's length and every length in it are 16-bit: a text just short of the limit reads
// back whole, one character more is refused.
TEST(VersionInfo, HoldsTextsUpToItsSixteenBitLength) {
  struct Case {
    std::vector<std::size_t> lengths;  // of the strings, in characters
    bool fits;
  };
  const Case cases[] = {
      {{32639}, true},
      {{32640}, false},
      {{9000, 9000, 9000, 4500}, true},
      {{9000, 9000, 9000, 9000}, false},
      {{100000}, false},
  };
  const char16_t* names[] = {u"ProductName", u"CompanyName", u"FileDescription", u"LegalCopyright"};
  for (const Case& c : cases) {
    VersionInfo info;
    for (std::size_t i = 0; i < c.lengths.size(); ++i) {
      info.strings.emplace_back(names[i], std::u16string(c.lengths[i], u'\u00e9'));
    }
    const auto block = encodeVersionInfo(info);
    ASSERT_EQ(block.ok(), c.fits) << c.lengths[0];
    if (!c.fits) {
      EXPECT_EQ(block.status().code(), Status::Code::kUsage);
      EXPECT_NE(block.status().message().find("more than the 65535"), std::string::npos);
      continue;
    }
    EXPECT_LE(block->size(), kMostVersionInfoBytes);
    const auto back = decodeVersionInfo(block->data(), block->size());
    ASSERT_TRUE(back) << c.lengths[0];
    EXPECT_EQ(back->strings, info.strings);
  }
}

}  // namespace
}  // namespace tavmor
