#pragma once
// Shared by the end-to-end tests: the binaries under test and making launcher files with them.

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.hpp"

namespace tavmor::test {

inline const std::string kLauncher = TAVMOR_LAUNCHER;
#ifdef TAVMOR_TEST_CLOCK_LAUNCHER
// The launcher built for tests: a fake wall clock, and its staged script removed after 1 second.
inline const std::string kTestClockLauncher = TAVMOR_TEST_CLOCK_LAUNCHER;
#endif
inline const std::string kTool = TAVMOR_TOOL;

inline constexpr char kBanner1[] = "Tavmor Launcher, ver. 250515\n";

// Packs script into dir/name with the built launcher (or stub); fails the test when packing fails.
inline std::string packScript(const TempDir& dir, const std::string& name,
                              const std::string& script, const std::string& stub = kLauncher) {
  const std::string scriptPath = dir / (name + ".rex");
  writeFile(scriptPath, script);
  const std::string out = dir / name;
  const RunResult packed = run(kTool, {"pack", scriptPath, "-o", out, "--stub", stub});
  EXPECT_EQ(packed.status, 0) << packed.err;
  return out;
}

}  // namespace tavmor::test
