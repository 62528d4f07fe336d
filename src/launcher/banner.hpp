#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tavmor {

inline constexpr char kLauncherVersion[] = "250515";

// The proleptic Gregorian year of the UTC day that holds the instant `unixNanos` (nanoseconds
// since 1970-01-01T00:00:00Z; negative before it).
int utcYear(std::int64_t unixNanos);

// Nanoseconds since 1970-01-01T00:00:00Z, from the system clock.
std::int64_t currentUnixNanos();

// The three banner lines, each with its newline, for the instant `unixNanos`.
std::array<std::string, 3> bannerLines(std::int64_t unixNanos);

// Writes the banner lines to standard output, flushing after each.
void printBanner(std::int64_t unixNanos);

}  // namespace tavmor
