#pragma once
// The compatibility fixture: a script run both ways, by regina directly and packed, with the same
// working directory, stdin, environment and arguments, and what each run showed.
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <string_view>
#include <thread>

#include "e2e/e2e.hpp"

namespace tavmor::test {

constexpr bool kReginaLinkedIn = TAVMOR_REGINA_STATIC;
const std::string kRegina = TAVMOR_REGINA;
const std::string kFaketime = TAVMOR_FAKETIME;
const std::string kExamples = TAVMOR_REGINA_EXAMPLES;
// Both runs start at this moment, on a clock a thousand times slow: regina under faketime, the
// packed script in the launcher built for tests, which has the same clock. What still moves,
// the microseconds of Time('L'), is left out of the comparison.
constexpr char kStartTime[] = "@2026-01-02 03:04:05 x0.001";

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  std::map<std::string, std::string> files;  // what the program left in its working directory
};

inline std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; !from.empty() && (at = text.find(from, at)) != std::string::npos;
       at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

class Compat : public ::testing::Test {
 protected:
  struct Options {
    std::vector<std::string> args;
    std::string stdinData;
    bool fakeClock = false;
    std::function<void(int pid, const std::string& cwd)> started;
    // Packed for this target by its installed stub (the build's), and run under its emulator.
    std::string target;
    std::string emulator;
  };

  // regina SCRIPT ARGS (or regina -a SCRIPT ARGS, which passes the arguments separately).
  Outcome direct(const std::string& script, const Options& options, bool separately = false) {
    std::vector<std::string> args;
    if (separately) args.push_back("-a");
    args.push_back(script);
    args.insert(args.end(), options.args.begin(), options.args.end());
    Outcome o = start(kRegina, args, options, options.fakeClock);
    o.out = replaceAll(o.out, script, "PROGRAM");
    o.err = replaceAll(o.err, script, "PROGRAM");
    // Linked in, Regina is its single-threaded build, as in Debian's rexx.
    if (kReginaLinkedIn) o.out = replaceAll(o.out, "REXX-Regina_3.6(MT)", "REXX-Regina_3.6");
    return o;
  }

  Outcome packed(const std::string& script, const Options& options) {
    const std::string name = std::filesystem::path(script).stem();
    const std::string file = programs_ / name;
    const std::string& stub = options.fakeClock ? kTestClockLauncher : kLauncher;
    const RunResult made =
        options.target.empty()
            ? run(kTool, {"pack", script, "-o", file, "--stub", stub})
            : run(kTool, {"pack", script, "-o", file, "--target", options.target});
    EXPECT_EQ(made.status, 0) << made.err;
    Outcome o = start(file, options.args, options);
    EXPECT_EQ(o.status, 0) << script;
    const std::size_t bannerEnd = nthLineEnd(o.out, 3);
    EXPECT_EQ(o.out.rfind(kBanner1, 0), 0u) << o.out;
    o.out.erase(0, bannerEnd);
    const std::string staged = tmp_ / ("." + name + ".tmp");
    o.out = replaceAll(o.out, staged, "PROGRAM");
    o.err = replaceAll(o.err, staged, "PROGRAM");
    return o;
  }

  // Runs both ways and expects the same outputs and files.
  void expectAlike(const std::string& script) { expectAlike(script, Options()); }
  void expectAlike(const std::string& script, const Options& options) {
    const Outcome d = direct(script, options);
    const Outcome p = packed(script, options);
    EXPECT_EQ(p.out, d.out) << script;
    EXPECT_EQ(p.err, d.err) << script;
    EXPECT_EQ(p.files, d.files) << script;
  }

  std::string script(const std::string& name, const std::string& text) {
    const std::string path = programs_ / (name + ".rex");
    writeFile(path, text);
    return path;
  }

  TempDir programs_;
  TempDir tmp_;

 private:
  static std::size_t nthLineEnd(const std::string& text, int n) {
    std::size_t at = 0;
    for (int i = 0; i < n && at != std::string::npos; ++i) {
      at = text.find('\n', at);
      if (at != std::string::npos) ++at;
    }
    return at == std::string::npos ? text.size() : at;
  }

  Outcome start(const std::string& program, const std::vector<std::string>& args,
                const Options& options, bool onFaketime = false) {
    TempDir cwd;
    RunOptions run;
    run.cwd = cwd.path();
    run.stdinData = options.stdinData;
    run.env.emplace("TMPDIR", tmp_.path());
    run.env.emplace("TZ", "UTC");
    std::string target = program;
    std::vector<std::string> targetArgs = args;
    if (onFaketime) {
      run.argv = std::vector<std::string>{kFaketime, "-f", kStartTime, program};
      target = kFaketime;
    } else if (!options.emulator.empty() && program != kRegina) {
      run.argv = std::vector<std::string>{options.emulator, program};
      target = options.emulator;
    }
    if (options.started) run.started = [&](int pid) { options.started(pid, cwd.path()); };
    const RunResult r = test::run(target, targetArgs, run);
    static const std::regex kMicroseconds(R"((\d\d:\d\d:\d\d)\.\d{6})");
    Outcome o{r.status, std::regex_replace(r.out, kMicroseconds, "$1.micros"), r.err, {}};
    for (const auto& entry : std::filesystem::directory_iterator(cwd.path())) {
      o.files[entry.path().filename()] = readFile(entry.path()).value_or("(unreadable)");
    }
    return o;
  }
};

}  // namespace tavmor::test
