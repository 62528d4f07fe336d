#pragma once

#include <cstdint>
#include <ostream>

namespace tavmor {

inline constexpr char kLauncherVersion[] = "250515";

// The proleptic Gregorian year of the UTC day that holds the instant `unixNanos` (nanoseconds
// since 1970-01-01T00:00:00Z; negative before it).
std::int64_t utcYear(std::int64_t unixNanos);

// Nanoseconds since 1970-01-01T00:00:00Z, from the system clock.
std::int64_t currentUnixNanos();

// Writes the three banner lines to out, flushing after each.
void printBanner(std::ostream& out, std::int64_t unixNanos);

}  // namespace tavmor
