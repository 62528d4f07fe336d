#include "util/utf16.hpp"

#include <gtest/gtest.h>

namespace tavmor {
namespace {

TEST(Utf16, TakesValidUtf8AndNothingElse) {
  EXPECT_EQ(utf16FromUtf8("Zo\xc3\xab \xe2\x82\xac \xf0\x9f\x98\x80"),
            std::u16string(u"Zo\u00eb \u20ac \U0001F600"));
  EXPECT_EQ(utf8FromUtf16(u"Zo\u00eb \u20ac \U0001F600"),
            "Zo\xc3\xab \xe2\x82\xac \xf0\x9f\x98\x80");
  EXPECT_EQ(utf8FromUtf16(std::u16string(1, u'\xd800') + u"x"), "\xef\xbf\xbdx");
  for (const char* bad : {"\x80", "\xc3", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80",
                          "\xf4\x90\x80\x80", "\xf8\x88\x80\x80\x80", "\xe2\x82", "a\xffz"}) {
    EXPECT_FALSE(utf16FromUtf8(bad)) << bad;
  }
}

}  // namespace
}  // namespace tavmor
