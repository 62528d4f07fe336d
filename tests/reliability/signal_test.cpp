// Signals that end the launcher or tavmor in the middle of a large write, or the launcher before
// or while its script runs: neither the temporary file beside the target nor the staged script
// may outlive the process.
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <thread>

#include "reliability/reliability.hpp"

namespace tavmor::test {
namespace {

using std::chrono::milliseconds;

// Sends `signal` to a program `delay` after it first writes to a file whose name begins with
// `prefix` (with no delay, while it is stopped at that write), through a descriptor of the
// process, so that a process already gone and reaped can never be mistaken for another.
class SignalDuringWrite {
 public:
  // `before` runs just before the signal is sent.
  SignalDuringWrite(int signal, milliseconds delay, std::function<void()> before = {})
      : signal_(signal), delay_(delay), before_(std::move(before)) {}
  ~SignalDuringWrite() {
    if (sender_.joinable()) sender_.join();
  }

  RunOptions options(RunOptions options, const std::string& prefix) {
    options.beforeFirstWrite = FileInterception{prefix, sender(options), true};
    return options;
  }

  // Sends the signal `delay` after the program starts.
  RunOptions atStart(RunOptions options) {
    auto send = sender(options);
    auto told = options.started;
    options.started = [told, send](int pid) {
      told(pid);
      send();
    };
    return options;
  }

  // Sends the signal where the program opens `path` instead.
  RunOptions atOpen(RunOptions options, const std::string& path) {
    options.beforeFirstRead = FileInterception{path, sender(options), false, true};
    return options;
  }

 private:
  std::function<void()> sender(RunOptions& options) {
    auto pid = std::make_shared<int>(0);
    options.started = [pid](int started) { *pid = started; };
    return [this, pid] { send(*pid); };
  }

  // Through the system calls: Debian 12's <sys/pidfd.h> declares them without C linkage.
  void send(int pid) {
    const int process = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (process < 0) return;
    if (delay_.count() == 0) {
      signalAndClose(process);
      return;
    }
    sender_ = std::thread([this, process] {
      std::this_thread::sleep_for(delay_);
      signalAndClose(process);
    });
  }

  void signalAndClose(int process) {
    if (before_) before_();
    ::syscall(SYS_pidfd_send_signal, process, signal_, nullptr, 0);
    ::close(process);
  }

  int signal_;
  milliseconds delay_;
  std::function<void()> before_;
  std::thread sender_;
};

// Every signal that ends a process by default and may come from outside: the four that users
// and service managers send, and those that only a program or a limit sends.
const int kSignals[] = {SIGINT,    SIGTERM, SIGHUP,   SIGQUIT, SIGUSR1,   SIGUSR2,
                        SIGALRM,   SIGPIPE, SIGPOLL,  SIGPROF, SIGVTALRM, SIGXCPU,
                        SIGSTKFLT, SIGPWR,  SIGRTMIN, SIGRTMAX};

bool sentByUsers(int signal) {
  return signal == SIGINT || signal == SIGTERM || signal == SIGHUP || signal == SIGQUIT;
}

constexpr milliseconds kDelays[] = {milliseconds(0), milliseconds(2), milliseconds(20)};

std::uint64_t sizeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

TEST(Signals, DuringStagingLeaveNoTemporaryFileBehind) {
  TempDir dir;
  TempDir tmp;
  // 32 MiB that pack small; Regina stops at the first byte, should the script get to run.
  const std::string script = "\x01" + std::string(32 * kMiB, ' ');
  const std::string file = packScript(dir, "big", script);
  for (const int signal : kSignals) {
    for (const milliseconds delay : kDelays) {
      SignalDuringWrite signaller(signal, delay);
      const RunResult r = run(file, {}, signaller.options(inTempDir(tmp), tmp / "..big.tmp."));
      // Ended by the signal before the script ran, the run takes its staged file along; a
      // script that got to run and stop at its first byte leaves it, as a quick script does.
      // The signals that users do not send have their own actions back once the script runs,
      // and one that ends it then leaves the file whole.
      if (r.signal != 0 && sentByUsers(signal)) {
        EXPECT_FALSE(exists(tmp / ".big.tmp"))
            << "left behind by signal " << signal << " at " << delay.count() << " ms";
      }
      for (const auto& entry : std::filesystem::directory_iterator(tmp.path())) {
        EXPECT_EQ(entry.path().filename(), ".big.tmp")
            << "left behind after signal " << signal << " at " << delay.count() << " ms";
      }
      if (exists(tmp / ".big.tmp")) {
        EXPECT_EQ(sizeOf(tmp / ".big.tmp"), script.size());
      }
    }
  }
}

TEST(Signals, ThatEndARunningScriptTakeItsFileAlong) {
  TempDir dir;
  TempDir tmp;
  const std::string file = packScript(dir, "loop", "do forever; nop; end\n");
  // SIGQUIT, which the interpreter leaves alone, sent as it opens the script; the others raise
  // HALT in the script, which then ends as a quick one does.
  SignalDuringWrite signaller(SIGQUIT, milliseconds(0));
  RunOptions options = signaller.atOpen(inTempDir(tmp), tmp / ".loop.tmp");
  options.limits.push_back({RLIMIT_CORE, 0});
  const RunResult r = run(file, {}, options);
  EXPECT_EQ(r.signal, SIGQUIT) << r.status << r.err;
  EXPECT_EQ(entriesIn(tmp.path()), 0) << "the staged script outlived the run";

  // Once the removal has taken the file, a file at the name is another run's, and stays. The
  // test launcher removes it after a second; the script then writes `removed`, and there, as
  // another run's file appears at the name, gets SIGQUIT.
  const std::string slow = packScript(dir, "slow",
                                      "parse source . . me\n"
                                      "do 50 while stream(me, 'c', 'query exists') <> ''\n"
                                      "  address system 'sleep 0.1'\n"
                                      "end\n"
                                      "call lineout arg(1), 'removed'\n"
                                      "do forever; nop; end\n",
                                      kTestClockLauncher);
  SignalDuringWrite late(SIGQUIT, milliseconds(0),
                         [&] { writeFile(tmp / ".slow.tmp", "another run's"); });
  options = late.options(inTempDir(tmp), dir / "removed");
  options.limits.push_back({RLIMIT_CORE, 0});
  const RunResult slowRun = run(slow, {dir / "removed"}, options);
  EXPECT_EQ(slowRun.signal, SIGQUIT) << slowRun.status << slowRun.err;
  EXPECT_EQ(readFile(tmp / ".slow.tmp"), "another run's");
}

TEST(Signals, KeepTheActionsTheLauncherWasStartedWithForTheScript) {
  TempDir dir;
  TempDir tmp;
  // The script's own process as a command it starts sees it: what it ignores and what it
  // catches (Regina's handlers, the same under `regina`), as hexadecimal masks of bit N-1.
  const std::string file =
      packScript(dir, "masks", "'grep -E \"^Sig(Ign|Cgt)\" /proc/$PPID/status'\n");
  RunOptions options = inTempDir(tmp);
  options.ignoredSignals = {SIGUSR1};
  const RunResult r = run(file, {}, options);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto mask = [&](const std::string& name) {
    const std::size_t at = r.out.find(name + ":\t");
    return at == r.out.npos ? 0 : std::stoull(r.out.substr(at + name.size() + 2, 16), nullptr, 16);
  };
  const auto bit = [](int signal) { return 1ULL << (signal - 1); };
  EXPECT_NE(mask("SigIgn") & bit(SIGUSR1), 0u) << r.out;
  for (const int signal : {SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, SIGRTMIN, SIGRTMAX}) {
    EXPECT_EQ(mask("SigCgt") & bit(signal), 0u) << "signal " << signal << " caught: " << r.out;
  }
}

TEST(Signals, DuringPackingLeaveNoTemporaryFileBehind) {
  TempDir dir;
  // Random bytes, which pack to twice their size.
  std::string script(8 * kMiB, '\0');
  std::mt19937_64 random(13);
  for (char& c : script) c = static_cast<char>(random());
  writeFile(dir / "s.rex", script);
  const std::vector<std::string> pack = {"pack",      dir / "s.rex", "-o",
                                         dir / "out", "--stub",      kLauncher};
  ASSERT_EQ(run(kTool, pack).status, 0);
  const std::uint64_t packedSize = sizeOf(dir / "out");
  // Every writer holds one set of signals, each of which the launcher's test takes; the
  // others here only where the write begins.
  for (const int signal : kSignals) {
    for (const milliseconds delay : kDelays) {
      if (!sentByUsers(signal) && delay.count() != 0) continue;
      std::remove((dir / "out").c_str());
      SignalDuringWrite signaller(signal, delay);
      run(kTool, pack, signaller.options({}, dir / ".out."));
      for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename();
        EXPECT_TRUE(name == "s.rex" || name == "out")
            << name << " left behind after signal " << signal << " at " << delay.count() << " ms";
      }
      if (exists(dir / "out")) {
        EXPECT_EQ(sizeOf(dir / "out"), packedSize);
      }
    }
  }
}

}  // namespace
}  // namespace tavmor::test
