#include "rexxhost/source.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tavmor {
namespace {

bool noClause(const std::string& source) { return holdsNoClause(source.data(), source.size()); }

// The cases come from running Regina on every short program over these bytes: those it runs
// from memory into a crash hold no clause, and no other program may be taken for one of them.
TEST(Source, HoldsNoClauseExactlyWhereReginaFindsNone) {
  for (const char* empty :
       {"", " \t\r\n\v\f", ";;\n;", "/* only a comment */\n", "/* nested /* comments */ end */",
        "-- a line comment", ",\n, \t", "#!/usr/bin/regina\n", "#!x\r;", "\x1a", " \n\x1a",
        "/* a */ ; -- b\n", "-- \x7f\x80\xff"}) {
    EXPECT_TRUE(noClause(empty)) << empty;
  }
  for (const char* clause : {"say 1", "x:", "/* left open", "/* a */ b", ",,", ", ;", "\x1a say",
                             "\t\x1a", "\n\x1a\n", "--\x1a", "#!x\nnop", " #!x", "\"", "a -- b",
                             "--\tsay 1", "--\vsay 1", "--\fsay 1", "#!x\n--\tsay 1", "--\x01"}) {
    EXPECT_FALSE(noClause(clause)) << clause;
  }
}

TEST(Source, FindsTheLineOfTheFirstNul) {
  EXPECT_EQ(lineOfFirstNul("say 1\n", 6), std::nullopt);
  EXPECT_EQ(lineOfFirstNul("\0", 1), 1u);
  EXPECT_EQ(lineOfFirstNul("a\nb\n/*\0*/\0", 11), 3u);
}

}  // namespace
}  // namespace tavmor
