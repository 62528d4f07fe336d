#include <gtest/gtest.h>

#include "rexxutil/api.hpp"
#include "rexxutil/fake_interpreter.hpp"

namespace tavmor::test {
namespace {

using namespace rexxutil;

TEST(Numbers, AreDefinedForEveryInput) {
  const struct {
    const char* text;
    long number;
    Seconds seconds;
  } cases[] = {
      {"12", 12, {12, 0, false}},
      {"  -3.7", -3, {0, 0, true}},
      {"+2.5x", 2, {2, 500000000, false}},
      {"abc", 0, {0, 0, false}},
      {"", 0, {0, 0, false}},
      {"1e3", 1, {1000, 0, false}},
      {"1e300", 1, {kLongestWait, 0, false}},
      {"-1e300", -1, {0, 0, true}},
      {"9223372036854775808", 2147483647, {kLongestWait, 0, false}},
      {"-99999999999999999999", -2147483648, {0, 0, true}},
      {"inf", 0, {kLongestWait, 0, false}},
      {"nan", 0, {0, 0, false}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(atoiOf(c.text), c.number) << c.text;
    const Seconds s = secondsOf(c.text);
    EXPECT_EQ(s.whole, c.seconds.whole) << c.text;
    EXPECT_EQ(s.nanoseconds, c.seconds.nanoseconds) << c.text;
    EXPECT_EQ(s.negative, c.seconds.negative) << c.text;
  }
  // Nothing to wait for: back at once.
  for (const char* none : {"0", "-1", "-1e300", "abc", "nan"}) {
    EXPECT_EQ(call(sysSleep, {none}), "0") << none;
  }
}

}  // namespace
}  // namespace tavmor::test
