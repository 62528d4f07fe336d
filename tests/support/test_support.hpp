#pragma once
// Helpers for tests: a fresh directory per test, whole-file access, and running programs the way
// a user would.

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/path.hpp"
#include "util/hex.hpp"

namespace tavmor::test {

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Bytes as the stand-in interpreter library logs them: lowercase hex digits, "-" when empty.
inline std::string standinHex(const std::string& bytes) {
  return bytes.empty() ? "-"
                       : toHex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// path as the platform spells it; throws when it cannot be spelled (on Windows: not UTF-8).
NativePath nativePath(const std::string& path);

void writeFile(const std::string& path, const std::string& bytes);
std::optional<std::string> readFile(const std::string& path);
bool exists(const std::string& path);
// What lstat says of path (POSIX); fails the test when it says nothing.
struct stat statOf(const std::string& path);

// From now on, in this process, the system calls `numbers` fail with `error` (POSIX: a seccomp
// filter, which no process can lift). For tests that run in a process of their own, such as the
// child of a death test: a file system whose fstat fails, a umask that may not be asked for.
void failSystemCalls(std::initializer_list<long> numbers, int error);

struct RunResult {
  int status = -1;  // exit status, or -1 when killed by a signal
  int signal = 0;
  std::string out;
  std::string err;
};

// A resource limit (RLIMIT_FSIZE, RLIMIT_AS, ...) that the program starts with.
struct ResourceLimit {
  int resource;
  std::uint64_t value;
};

// Stops the program at its first use of the file it opened as `path` (the name as it passes it
// to the system; with `prefix`, any name that begins with it), or where it is about to open it
// (`atOpen`), runs `action`, and lets it go on: a file that changes between open and read, that
// vanishes just before the open, a signal in the middle of a write, on cue. The program must not
// write much to its outputs before that point.
struct FileInterception {
  std::string path;
  std::function<void()> action;
  bool prefix = false;
  bool atOpen = false;
};

struct RunOptions {
  std::optional<std::vector<std::string>> argv;           // defaults to {program}; may be empty
  std::map<std::string, std::optional<std::string>> env;  // overrides; nullopt unsets
  std::string cwd;
  std::string stdinData;
  std::vector<ResourceLimit> limits;
  std::vector<int> ignoredSignals;  // e.g. SIGXFSZ, so that a write past RLIMIT_FSIZE fails
  std::optional<FileInterception> beforeFirstRead;   // or mapping; POSIX only
  std::optional<FileInterception> beforeFirstWrite;  // POSIX only
  std::function<void(int pid)> started;              // told the program's process id
  // POSIX: run by root, the program runs as the user nobody, to meet permissions as users do.
  bool unprivileged = false;
};

// POSIX: program itself when every user may run it where it is; otherwise a copy of it in dir,
// for a run with `unprivileged` (the build may sit in a folder that only its owner can enter).
std::string reachableCopy(const std::string& program, const TempDir& dir);

// Runs program with argv (argv[0] as given) and waits for it.
RunResult run(const std::string& program, const std::vector<std::string>& args,
              const RunOptions& options = {});

}  // namespace tavmor::test
