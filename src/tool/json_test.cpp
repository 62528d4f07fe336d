#include "tool/json.hpp"

#include <gtest/gtest.h>

namespace tavmor::json {
namespace {

TEST(Json, QuotesAnyBytesAsValidJson) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"plain/file.exe", "\"plain/file.exe\""},
      {"say \"hi\"\\", "\"say \\\"hi\\\"\\\\\""},
      {std::string("a\nb\t\x01\x7f\0", 7), "\"a\\nb\\t\\u0001\\u007f\\u0000\""},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
       "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
      // A lone continuation byte, a truncated sequence, an overlong '/', a surrogate, past
      // U+10FFFF.
      {"\x80x", "\"\xef\xbf\xbdx\""},
      {"\xe2\x82", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
      {"\xc0\xaf", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
      {"\xed\xa0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
      {"\xf4\x90\x80\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
  };
  for (const auto& c : cases) EXPECT_EQ(quote(c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace tavmor::json
