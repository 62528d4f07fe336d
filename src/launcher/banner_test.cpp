#include "launcher/banner.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace tavmor {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

TEST(Banner, YearFollowsTheUtcCalendar) {
  struct Case {
    std::int64_t unixSeconds;
    std::int64_t nanos;
    std::int64_t year;
  };
  const Case cases[] = {
      {0, 0, 1970},
      {-1, 0, 1969},                    // one second before the epoch
      {0, -1, 1969},                    // one nanosecond before it
      {1767225599, 999'999'999, 2025},  // 2025-12-31T23:59:59.999999999Z
      {1767225600, 0, 2026},            // 2026-01-01T00:00:00Z
      {951782400, 0, 2000},             // 2000-02-29, a leap day of a century year
      {-2208988800, 0, 1900},           // 1900-01-01
      {-2208988801, 0, 1899},
      {4107542400, 0, 2100},   // 2100-03-01, after a century year without a leap day
      {-9223372036, 0, 1677},  // near the smallest 64-bit nanosecond count
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utcYear(c.unixSeconds * kSecond + c.nanos), c.year) << c.unixSeconds;
  }
}

TEST(Banner, HasThreeLinesWithTheYear) {
  const auto lines = bannerLines(1767225600 * kSecond);
  EXPECT_EQ(lines[0], "Tavmor Launcher, ver. 250515\n");
  EXPECT_EQ(lines[1], "Copyright (c) 2026\n");
  EXPECT_EQ(std::count(lines[2].begin(), lines[2].end(), '\n'), 1);
}

}  // namespace
}  // namespace tavmor
