// A launcher for tests: its wall clock starts at a fixed instant and runs a thousand times slow,
// as faketime's "@2026-01-02 03:04:05 x0.001" makes regina's, so that the two print the same
// dates and times; and it removes its staged script after one second instead of five. Linked
// with --wrap for time, gettimeofday and clock_gettime, so that Regina's calls, and the
// banner's, come here; timers and sleeps keep the real clock.
#include <sys/time.h>

#include <cstdint>
#include <ctime>

#include "staging/staging.hpp"

extern "C" {
int __real_clock_gettime(clockid_t clock, timespec* now);
}

namespace {

constexpr std::int64_t kStartSeconds = 1767323045;  // 2026-01-02T03:04:05Z
constexpr std::int64_t kSlowdown = 1000;

std::int64_t realNanos() {
  timespec now{};
  __real_clock_gettime(CLOCK_REALTIME, &now);
  return std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

// Taken at the first call: the launcher asks for the time before it starts any thread.
std::int64_t fakeNanos() {
  static const std::int64_t realStart = realNanos();
  return kStartSeconds * 1000000000 + (realNanos() - realStart) / kSlowdown;
}

}  // namespace

extern "C" {

int __wrap_clock_gettime(clockid_t clock, timespec* now) {
  if (clock != CLOCK_REALTIME) return __real_clock_gettime(clock, now);
  const std::int64_t nanos = fakeNanos();
  now->tv_sec = static_cast<time_t>(nanos / 1000000000);
  now->tv_nsec = static_cast<long>(nanos % 1000000000);
  return 0;
}

int __wrap_gettimeofday(timeval* now, void*) {
  const std::int64_t nanos = fakeNanos();
  now->tv_sec = static_cast<time_t>(nanos / 1000000000);
  now->tv_usec = static_cast<suseconds_t>(nanos % 1000000000 / 1000);
  return 0;
}

time_t __wrap_time(time_t* out) {
  const auto seconds = static_cast<time_t>(fakeNanos() / 1000000000);
  if (out != nullptr) *out = seconds;
  return seconds;
}
}

std::chrono::milliseconds tavmor::removalDelay() { return std::chrono::seconds(1); }
