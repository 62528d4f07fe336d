#include <gtest/gtest.h>

#include "rexxutil/fake_interpreter.hpp"

namespace tavmor::test {
namespace {

using rexxutil::sysStemCopy;

// Indexes and counts are the script's, up to an int's range: what they lead to is bounded by the
// items that exist.
TEST(SysStemCopy, MakesOnlyTheItemsItCopies) {
  struct Case {
    std::vector<std::optional<std::string>> args;  // after "S.", "T."
    std::map<std::string, std::string> target;
  } cases[] = {
      {{}, {{"T.0", "2"}, {"T.1", "a"}, {"T.2", "b"}}},
      {{"2", "2"}, {{"T.0", "2"}, {"T.1", "x"}, {"T.2", "b"}}},
      {{"1", "4"}, {{"T.0", "5"}, {"T.1", "x"}, {"T.4", "a"}, {"T.5", "b"}}},
      {{"1", "9223372036854775808"},
       {{"T.0", "2147483648"}, {"T.1", "x"}, {"T.2147483647", "a"}, {"T.2147483648", "b"}}},
      {{"1", "1", "1", "I"}, {{"T.0", "2"}, {"T.1", "a"}, {"T.2", "x"}}},
      {{"1", "1", "9223372036854775808"}, {{"T.0", "2"}, {"T.1", "a"}, {"T.2", "b"}}},
      {{"-5", "1"}, {{"T.0", "1"}, {"T.1", "x"}, {"T.Z", "z"}}},
  };
  for (const Case& c : cases) {
    variables() = {{"S.0", "2"}, {"S.1", "a"}, {"S.2", "b"},
                   {"T.0", "1"}, {"T.1", "x"}, {"T.Z", "z"}};
    std::vector<std::optional<std::string>> args = {"S.", "T."};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(call(sysStemCopy, args), "0");
    std::map<std::string, std::string> target;
    for (const auto& [name, value] : variables()) {
      if (name.starts_with("T.")) target[name] = value;
    }
    EXPECT_EQ(target, c.target) << testing::PrintToString(c.args);
  }
}

}  // namespace
}  // namespace tavmor::test
