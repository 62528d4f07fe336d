// Runs that overlap and the removal thread under stress: many runs of one launcher at once,
// signals sent while the removal waits, and a temp file that cannot be removed or was replaced.
// These run under ThreadSanitizer too.
#include <signal.h>
#include <sys/syscall.h>
#include <sys/types.h>

#include <chrono>
#include <future>
#include <latch>
#include <thread>

#include "reliability/reliability.hpp"

namespace tavmor::test {
namespace {

using std::chrono::milliseconds;

TEST(Overlap, FiftyRunsWritingAtOnceEachHandTheirInterpreterAWholeScript) {
  TempDir dir;
  TempDir tmp;
  // Lines of comments ahead of the only statement, 200 KB in all: an interpreter handed part of
  // the file finds an unterminated comment or no statement, and says nothing.
  std::string script;
  for (int i = 0; i < 10000; ++i) script += "/* filler " + std::to_string(100000 + i) + " */\n";
  script += "say 'whole script'\n";
  const std::string file = packScript(dir, "overlap", script);
  // Each run is held at its first write of its temporary file until every run is there, so that
  // all of them write at once. Each run's removal comes due 5 seconds after its own write: held
  // there, none is due before all have written, and how long 50 processes take to start (many
  // seconds for sanitized builds on a loaded machine) does not count; only their few
  // milliseconds each from the write to the interpreter's read do.
  constexpr int kRuns = 50;
  std::latch allAtTheirWrite(kRuns);
  std::vector<std::future<RunResult>> runs;
  for (int i = 0; i < kRuns; ++i) {
    runs.push_back(std::async(std::launch::async, [&] {
      bool held = false;
      RunOptions options = inTempDir(tmp);
      options.beforeFirstWrite = FileInterception{tmp / "..overlap.tmp.",
                                                  [&] {
                                                    held = true;
                                                    allAtTheirWrite.arrive_and_wait();
                                                  },
                                                  true};
      RunResult r = run(file, {}, options);
      if (!held) allAtTheirWrite.count_down();  // ended before its write: the others go on
      return r;
    }));
  }
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const RunResult r = runs[i].get();
    EXPECT_EQ(r.status, 0) << i;
    EXPECT_EQ(r.err, "") << i;
    EXPECT_NE(r.out.find("whole script\n"), std::string::npos) << i << ": " << r.out;
  }
  EXPECT_EQ(readFile(tmp / ".overlap.tmp"), script);
  EXPECT_EQ(entriesIn(tmp.path()), 1);
}

// Starts file in the background; its process id arrives through the returned future's partner.
struct BackgroundRun {
  std::future<RunResult> result;
  std::future<int> pid;
};

BackgroundRun startInBackground(const std::string& file, std::vector<std::string> args,
                                RunOptions options) {
  auto pid = std::make_shared<std::promise<int>>();
  BackgroundRun background;
  background.pid = pid->get_future();
  options.started = [pid](int started) { pid->set_value(started); };
  background.result =
      std::async(std::launch::async, [file, args, options] { return run(file, args, options); });
  return background;
}

// The threads of process pid but its first: the removal thread, and any a sanitizer runs.
std::vector<pid_t> laterThreadsOf(pid_t pid) {
  std::vector<pid_t> threads;
  std::error_code error;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& entry : std::filesystem::directory_iterator(tasks, error)) {
    const pid_t tid = std::stoi(entry.path().filename().string());
    if (tid != pid) threads.push_back(tid);
  }
  return threads;
}

bool waitFor(const std::string& path) {
  for (int attempt = 0; attempt < 3000 && !exists(path); ++attempt) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  return exists(path);
}

// Once running (the interpreter's signal handlers are in place), the script says so in a file,
// waits for a go file, and then waits up to 10 seconds for the removal of its own file. "call on
// halt" keeps it going through the signals the interpreter turns into halts.
constexpr char kWaitingScript[] =
    "call on halt name halted\n"
    "parse source . . me\n"
    "parse arg ready, go\n"
    "call lineout ready, 'running'\n"
    "call lineout ready\n"
    "do while stream(go, 'c', 'query exists') = ''\n"
    "  address system 'sleep 0.05'\n"
    "end\n"
    "do 50 while stream(me, 'c', 'query exists') <> ''\n"
    "  address system 'sleep 0.2'\n"
    "end\n"
    "say 'removed:' (stream(me, 'c', 'query exists') = '')\n"
    "exit\n"
    "halted:\n"
    "  return\n";

// That the signals do not cut the delay short is the removal's unit test; here they are sent
// while the test launcher's removal thread sleeps out its second.
TEST(RemovalThread, SignalsNeitherCrashTheRunNorStopTheRemoval) {
  TempDir dir;
  TempDir tmp;
  const std::string file = packScript(dir, "signalled", kWaitingScript, kTestClockLauncher);
  BackgroundRun background = startInBackground(file, {dir / "ready", dir / "go"}, inTempDir(tmp));
  const pid_t pid = background.pid.get();
  ASSERT_TRUE(waitFor(dir / "ready"));
  // Signals aimed at the removal thread, signals to the process in a burst (which the kernel
  // may hand to any thread that does not block them), and stops that interrupt every sleep.
  for (const pid_t thread : laterThreadsOf(pid)) ::syscall(SYS_tgkill, pid, thread, SIGHUP);
  for (int i = 0; i < 20; ++i) ::kill(pid, i % 2 == 0 ? SIGHUP : SIGINT);
  for (int i = 0; i < 3; ++i) {
    ::kill(pid, SIGSTOP);
    std::this_thread::sleep_for(milliseconds(20));
    ::kill(pid, SIGCONT);
  }
  writeFile(dir / "go", "");
  const RunResult r = background.result.get();
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("removed: 1\n"), std::string::npos) << r.out << r.err;
}

TEST(RemovalThread, AFileThatCannotBeRemovedOrWasReplacedLeavesTheRunAlone) {
  TempDir dir;
  TempDir tmp;
  struct Case {
    std::string name;
    std::string replace;  // a shell command run on the script's own file, as "$1"
    bool goneAtTheEnd;
  };
  const Case cases[] = {
      {"stuck", "rm -f \"$1\" && mkdir \"$1\" && touch \"$1/kept\"", false},
      {"swapped", "rm -f \"$1\" && printf x > \"$1\"", true},
  };
  std::vector<std::future<RunResult>> runs;
  for (const Case& c : cases) {
    // In the launcher built for tests the removal comes after 1 second: a file that goes is
    // waited for, up to 5 seconds on a loaded machine; the one that stays, that long.
    const std::string script =
        "parse source . . me\n"
        "address system 'sh -c ''" +
        c.replace +
        "'' sh' me\n"
        "do 25 while stream(me, 'c', 'query exists') <> ''\n"
        "  address system 'sleep 0.2'\n"
        "end\n"
        "say 'done'\n";
    const std::string file = packScript(dir, c.name, script, kTestClockLauncher);
    runs.push_back(
        std::async(std::launch::async, [file, &tmp] { return run(file, {}, inTempDir(tmp)); }));
  }
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const RunResult r = runs[i].get();
    const Case& c = cases[i];
    EXPECT_EQ(r.signal, 0) << c.name;
    EXPECT_EQ(r.status, 0) << c.name << ": " << r.err;
    EXPECT_NE(r.out.find("done\n"), std::string::npos) << c.name << ": " << r.out << r.err;
    EXPECT_EQ(exists(tmp / ("." + c.name + ".tmp")), !c.goneAtTheEnd) << c.name;
  }
  EXPECT_TRUE(exists(tmp / ".stuck.tmp/kept"));
}

}  // namespace
}  // namespace tavmor::test
