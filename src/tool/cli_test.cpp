#include "tool/cli.hpp"

#include <gtest/gtest.h>

namespace tavmor::cli {
namespace {

const std::vector<OptionSpec> kSpecs = {{"output", 'o', true}, {"json", '\0', false}};

TEST(Cli, ParsesOptionsInTheirUsualSpellings) {
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"s.rex", "-o", "out"},
                                             {"-oout", "s.rex"},
                                             {"--output", "out", "s.rex"},
                                             {"--output=out", "s.rex"},
                                             {"-o", "x", "s.rex", "-o", "out"}}) {
    const ParsedArgs parsed = parseArgs(args, kSpecs);
    EXPECT_TRUE(parsed.error.empty()) << parsed.error;
    EXPECT_EQ(parsed.value("output"), "out");
    EXPECT_EQ(parsed.operands, std::vector<std::string>{"s.rex"});
  }
}

TEST(Cli, OperandsAfterDoubleDashAndDash) {
  const ParsedArgs parsed = parseArgs({"-", "--json", "--", "-o", "--json"}, kSpecs);
  EXPECT_TRUE(parsed.flag("json"));
  EXPECT_EQ(parsed.operands, (std::vector<std::string>{"-", "-o", "--json"}));
}

TEST(Cli, ReportsUsageErrors) {
  EXPECT_NE(parseArgs({"--bogus"}, kSpecs).error, "");
  EXPECT_NE(parseArgs({"-o"}, kSpecs).error, "");
  EXPECT_NE(parseArgs({"--json=yes"}, kSpecs).error, "");
  EXPECT_TRUE(parseArgs({"--help"}, kSpecs).help);
}

}  // namespace
}  // namespace tavmor::cli
