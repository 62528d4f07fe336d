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
    const Result<ParsedArgs> parsed = parseArgs(args, kSpecs);
    ASSERT_TRUE(parsed.ok()) << parsed.status().message();
    EXPECT_EQ(parsed->value("output"), "out");
    EXPECT_EQ(parsed->operands, std::vector<std::string>{"s.rex"});
  }
}

TEST(Cli, OperandsAfterDoubleDashAndDash) {
  const Result<ParsedArgs> parsed = parseArgs({"-", "--json", "--", "-o", "--json"}, kSpecs);
  ASSERT_TRUE(parsed.ok());
  EXPECT_TRUE(parsed->flag("json"));
  EXPECT_EQ(parsed->operands, (std::vector<std::string>{"-", "-o", "--json"}));
}

TEST(Cli, ReportsUsageErrors) {
  for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--bogus"}, "unknown option --bogus"},
           {{"-o"}, "option -o needs a value"},
           {{"--json=yes"}, "option --json takes no value"}}) {
    const Result<ParsedArgs> parsed = parseArgs(args, kSpecs);
    EXPECT_EQ(parsed.status().code(), Status::Code::kUsage) << message;
    EXPECT_EQ(parsed.status().message(), message);
  }
  // --help wins over whatever follows it, not over a usage error before it.
  EXPECT_TRUE(parseArgs({"--help", "--bogus"}, kSpecs)->help);
  EXPECT_FALSE(parseArgs({"--bogus", "--help"}, kSpecs).ok());
}

TEST(Cli, LinesUpValuesAfterTheLongestName) {
  EXPECT_EQ(alignedLines({{"file", "a"}, {"certificate table", "none"}}),
            "file               a\ncertificate table  none\n");
  EXPECT_EQ(alignedLines({{"a name longer than nineteen", "x"}, {"b", "y"}}),
            "a name longer than nineteen  x\nb                            y\n");
  EXPECT_EQ(alignedLines({}), "");
}

}  // namespace
}  // namespace tavmor::cli
