#include "util/escape.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tavmor {
namespace {

TEST(Escape, SpellsOutControlCharactersAndKeepsEverythingElse) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"", ""},
      {"/opt/tools/report", "/opt/tools/report"},
      {"C:\\Outils\\r\xc3\xa9sum\xc3\xa9.exe", "C:\\Outils\\r\xc3\xa9sum\xc3\xa9.exe"},
      {"new\nline", "new\\nline"},
      {"\r\t\x1b[2J\x7f", "\\r\\t\\x1b[2J\\x7f"},
      {std::string("nul\0end", 7), "nul\\x00end"},
      {"\n", "\\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(escaped(c.text), c.expected);
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    writeEscaped(file, c.text);
    std::rewind(file);
    std::string written(64, '\0');
    written.resize(std::fread(written.data(), 1, written.size(), file));
    std::fclose(file);
    EXPECT_EQ(written, c.expected);
  }
}

}  // namespace
}  // namespace tavmor
