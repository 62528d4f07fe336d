#include "launcher/banner.hpp"

#include <chrono>

namespace tavmor {
namespace {

constexpr std::int64_t kNanosPerDay = 86'400'000'000'000;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The civil year of a day counted from 1970-01-01, in the proleptic Gregorian calendar
// (H. Hinnant's days-to-civil algorithm, restricted to the year).
std::int64_t yearFromDays(std::int64_t days) {
  days += 719468;  // shift the epoch to 0000-03-01, the start of a 400-year era
  const std::int64_t era = floorDiv(days, 146097);
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t marchMonth = (5 * dayOfYear + 2) / 153;  // 0 is March
  const std::int64_t year = yearOfEra + era * 400;
  return marchMonth >= 10 ? year + 1 : year;  // January and February belong to the next year
}

}  // namespace

std::int64_t utcYear(std::int64_t unixNanos) {
  return yearFromDays(floorDiv(unixNanos, kNanosPerDay));
}

std::int64_t currentUnixNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void printBanner(std::ostream& out, std::int64_t unixNanos) {
  out << "Tavmor Launcher, ver. " << kLauncherVersion << '\n' << std::flush;
  out << "Copyright (c) " << utcYear(unixNanos) << '\n' << std::flush;
  out << "Runs the Rexx script packed into this file." << '\n' << std::flush;
}

}  // namespace tavmor
