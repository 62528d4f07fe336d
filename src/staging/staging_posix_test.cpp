#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

#include "payload/encode.hpp"
#include "staging/staging.hpp"
#include "support/test_support.hpp"

namespace tavmor {
namespace {

using std::chrono::milliseconds;
using test::statOf;
using test::TempDir;

TEST(TempPath, DerivesTheNameFromArgv0) {
  struct Case {
    const char* argv0;
    const char* expected;
  };
  const Case cases[] = {
      {"/opt/tools/report", "T/.report.tmp"},
      {"report", "T/.report.tmp"},
      {"/opt/tools/report.bin", "T/.report.tmp"},
      {"/opt/my.tools/report", "T/.my.tmp"},  // cut at the first "." of the whole path
      {"./report", "T/..tmp"},                // cut at the very first character
      {"../report", "T/..tmp"},
      {"dir/sub/", "T/..tmp"},
      {"", "T/..tmp"},
      {"/opt/tëst/rapport", "T/.rapport.tmp"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(makeTempScriptPath(c.argv0, "T"), c.expected) << c.argv0;
  }
}

// Stages `script` at path from a launcher-like file in dir holding its packed pairs, mapped as the
// launcher maps its own file; `meanwhile` runs on the file once it is mapped.
Status stageMapped(const TempDir& dir, const std::string& path, const std::string& script,
                   const std::function<void(const std::string& file)>& meanwhile = {}) {
  const auto pairs =
      encodeRunLength(reinterpret_cast<const unsigned char*>(script.data()), script.size());
  const std::string file = dir / "launcher";
  test::writeFile(file, std::string(pairs.begin(), pairs.end()));
  const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};  // no change in the clock's tick
  EXPECT_EQ(::utimensat(AT_FDCWD, file.c_str(), past, 0), 0);
  const Result<FileImage> image = mapWholeFile(file);
  EXPECT_TRUE(image.ok());
  if (!image.ok()) return image.status();
  if (meanwhile) meanwhile(file);
  return writeTempScriptFromPayload(path, *image, PayloadSpan{0, 0, image->size});
}

TEST(TempScript, IsOwnerOnlyAndNeverWrittenThroughAPlantedLink) {
  TempDir dir;
  const std::string victim = dir / "victim";
  test::writeFile(victim, "precious");
  const std::string path = dir / ".report.tmp";
  ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0);
  ASSERT_TRUE(stageMapped(dir, path, "x").ok());
  EXPECT_EQ(test::readFile(victim), "precious");
  EXPECT_TRUE(S_ISREG(statOf(path).st_mode));
  EXPECT_EQ(statOf(path).st_mode & 0777, 0600u);
  EXPECT_EQ(test::readFile(path), "x");
}

TEST(TempScript, FailsCleanlyInADirectoryItCannotWrite) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes everywhere";
  TempDir dir;
  TempDir locked;
  ASSERT_EQ(::chmod(locked.path().c_str(), 0500), 0);
  EXPECT_FALSE(stageMapped(dir, locked / ".x.tmp", "x").ok());
}

TEST(TempScript, FromAFileWrittenMeanwhileFailsAndLeavesNothing) {
  // Each change keeps the file's size, or cuts it and puts the size back.
  const std::pair<const char*, std::function<void(const std::string&)>> changes[] = {
      {"overwritten",
       [](const std::string& file) {
         const int fd = ::open(file.c_str(), O_WRONLY);
         EXPECT_EQ(::pwrite(fd, "\x01!", 2, 4096), 2);
         ::close(fd);
       }},
      {"cut and extended back",
       [](const std::string& file) {
         const off_t size = statOf(file).st_size;
         ::truncate(file.c_str(), 4096);
         ::truncate(file.c_str(), size);
       }},
  };
  for (const auto& [change, action] : changes) {
    TempDir dir;
    TempDir tmp;
    const Status staged =
        stageMapped(dir, tmp / ".x.tmp", std::string(2 * 1024 * 1024, 'a') + "bcd", action);
    EXPECT_EQ(staged.code(), Status::Code::kCannotRead) << change;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path()), {}), 0) << change;
  }
}

TEST(Removal, ZeroOrNegativeDelayRemovesAtOnce) {
  TempDir dir;
  for (const auto delay : {milliseconds(0), milliseconds(-1), milliseconds::min()}) {
    const std::string path = dir / "f";
    test::writeFile(path, "x");
    removeAfterDelay(path, delay);
    EXPECT_FALSE(test::exists(path)) << delay.count();
  }
  removeAfterDelay(dir / "missing", milliseconds(0));  // a missing file is no error
}

TEST(Removal, SleepsOnThroughSignals) {
  // Signals every 20 ms at a removal due after 300; each look that finds the file gone must come
  // after the delay, however slowly the looks come on a loaded machine.
  TempDir dir;
  const std::string path = dir / "f";
  test::writeFile(path, "x");
  struct sigaction action {};
  action.sa_handler = [](int) {};
  struct sigaction old {};
  ASSERT_EQ(::sigaction(SIGUSR1, &action, &old), 0);
  constexpr milliseconds kDelay(300);
  const auto start = std::chrono::steady_clock::now();
  std::thread remover([&] { removeAfterDelay(path, kDelay); });
  const pthread_t handle = remover.native_handle();
  for (int i = 0; i < 10; ++i) {
    std::this_thread::sleep_for(milliseconds(20));
    ::pthread_kill(handle, SIGUSR1);
    if (!test::exists(path)) {
      EXPECT_GE(std::chrono::steady_clock::now() - start, kDelay) << "after signal " << i;
      break;
    }
  }
  remover.join();
  EXPECT_GE(std::chrono::steady_clock::now() - start, kDelay);
  EXPECT_FALSE(test::exists(path));
  ::sigaction(SIGUSR1, &old, nullptr);
}

// The temp directory, or "failure: " and why there is none.
std::string tempDirectoryOrFailure() {
  const Result<std::string> dir = platformTempDirectory();
  return dir.ok() ? *dir : "failure: " + dir.status().message();
}

TEST(TempDirectory, ComesFromTmpdirAndMustBeADirectory) {
  TempDir dir;
  const char* saved = std::getenv("TMPDIR");
  const std::string savedValue = saved ? saved : "";
  ::setenv("TMPDIR", dir.path().c_str(), 1);
  EXPECT_EQ(tempDirectoryOrFailure(), dir.path());
  ::setenv("TMPDIR", (dir / "missing").c_str(), 1);
  EXPECT_EQ(tempDirectoryOrFailure(), "failure: Temp directory not found: " + dir / "missing");
  test::writeFile(dir / "file", "");
  ::setenv("TMPDIR", (dir / "file").c_str(), 1);
  EXPECT_EQ(tempDirectoryOrFailure(),
            "failure: Temp directory is not a directory: " + dir / "file");
  ::setenv("TMPDIR", ".", 1);  // relative: taken against the current directory, once
  EXPECT_EQ(tempDirectoryOrFailure(), std::filesystem::current_path() / ".");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(tempDirectoryOrFailure(), "/tmp");
  if (saved) ::setenv("TMPDIR", savedValue.c_str(), 1);
}

}  // namespace
}  // namespace tavmor
