#include "launcher/banner.hpp"

#include <chrono>
#include <cstdio>

namespace tavmor {

int utcYear(std::int64_t unixNanos) {
  using namespace std::chrono;
  // floor, not a cast: an instant before 1970 belongs to the day before it.
  const sys_days day = floor<days>(sys_time<nanoseconds>(nanoseconds(unixNanos)));
  return static_cast<int>(year_month_day(day).year());
}

std::int64_t currentUnixNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::array<std::string, 3> bannerLines(std::int64_t unixNanos) {
  return {std::string("Tavmor Launcher, ver. ") + kLauncherVersion + "\n",
          "Copyright (c) " + std::to_string(utcYear(unixNanos)) + "\n",
          "Runs the Rexx script packed into this file.\n"};
}

void printBanner(std::int64_t unixNanos) {
  for (const std::string& line : bannerLines(unixNanos)) {
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
  }
}

}  // namespace tavmor
