#include <gtest/gtest.h>

#include "platform/path.hpp"

namespace tavmor {
namespace {

TEST(PathWin32, ConvertsUtf8BothWaysAndRefusesWhatIsNotUtf8) {
  struct Case {
    std::string utf8;
    std::optional<std::wstring> wide;  // nothing: refused
  };
  const Case cases[] = {
      {"", L""},
      {"C:\\Tools\\report.exe", L"C:\\Tools\\report.exe"},
      {"C:\\Outils\\Donn\xc3\xa9"
       "es\\r\xc3\xa9sum\xc3\xa9.exe",
       L"C:\\Outils\\Donn\u00e9es\\r\u00e9sum\u00e9.exe"},
      {"\xe6\x97\xa5\xe6\x9c\xac", L"\u65e5\u672c"},
      {"\xf0\x9f\x93\x84.exe", L"\U0001F4C4.exe"},  // outside the BMP: a surrogate pair
      {"t\xebst", std::nullopt},                    // Latin-1, as a code page would give it
      {"\xff", std::nullopt},
      {"\xc0\xaf", std::nullopt},          // overlong "/"
      {"\xed\xa0\x80", std::nullopt},      // an encoded surrogate
      {"abc\xe2\x82", std::nullopt},       // cut short
      {"\xf4\x90\x80\x80", std::nullopt},  // past U+10FFFF
  };
  for (const auto& c : cases) {
    const auto path = pathFromUtf8(c.utf8);
    ASSERT_EQ(path.has_value(), c.wide.has_value()) << c.utf8;
    if (!path) continue;
    EXPECT_EQ(*path, *c.wide) << c.utf8;
    EXPECT_EQ(utf8FromPath(*path), c.utf8);
  }
  EXPECT_FALSE(utf8FromPath(std::wstring(L"a\xd800z")));  // a lone surrogate
  EXPECT_FALSE(utf8FromPath(std::wstring(L"\xdc00")));
}

}  // namespace
}  // namespace tavmor
