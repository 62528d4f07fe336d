// Signals that end the launcher or tavmor in the middle of a large write: the temporary file
// beside the target must never outlive the process.
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include <chrono>
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
  SignalDuringWrite(int signal, milliseconds delay) : signal_(signal), delay_(delay) {}
  ~SignalDuringWrite() {
    if (sender_.joinable()) sender_.join();
  }

  RunOptions options(RunOptions options, const std::string& prefix) {
    auto pid = std::make_shared<int>(0);
    options.started = [pid](int started) { *pid = started; };
    options.beforeFirstWrite = FileInterception{prefix, [this, pid] { send(*pid); }, true};
    return options;
  }

 private:
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
    ::syscall(SYS_pidfd_send_signal, process, signal_, nullptr, 0);
    ::close(process);
  }

  int signal_;
  milliseconds delay_;
  std::thread sender_;
};

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
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
  for (const int signal : kSignals) {
    for (const milliseconds delay : kDelays) {
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
