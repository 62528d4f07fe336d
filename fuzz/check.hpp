#pragma once
// Stopping a fuzzer with a message when a property does not hold.

#include <cstdio>

namespace tavmor::fuzz {

// Stops the fuzzer with a message when a property does not hold.
[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "property violated: %s\n", what);
  __builtin_trap();
}

inline void check(bool holds, const char* what) {
  if (!holds) fail(what);
}

}  // namespace tavmor::fuzz
