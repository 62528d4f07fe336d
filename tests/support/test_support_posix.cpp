#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/test_support.hpp"

extern char** environ;

namespace tavmor::test {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base ? base : "/tmp") + "/tavmor-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

void failSystemCalls(std::initializer_list<long> numbers, int error) {
  std::vector<sock_filter> filter = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
  for (const long number : numbers) {
    filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(number), 0, 1));
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (error & SECCOMP_RET_DATA)));
  }
  filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  const sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
    throw std::runtime_error(std::string("seccomp: ") + std::strerror(errno));
  }
}

NativePath nativePath(const std::string& path) { return path; }

struct stat statOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

namespace {

// The NUL-terminated text at `address` in the stopped process pid.
std::string textIn(pid_t pid, std::uint64_t address) {
  const std::string memPath = "/proc/" + std::to_string(pid) + "/mem";
  const int fd = ::open(memPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text(PATH_MAX, '\0');
  const ssize_t got = ::pread(fd, text.data(), text.size(), static_cast<off_t>(address));
  ::close(fd);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text.substr(0, text.find('\0'));
}

// Whether system call nr with args reads from, or maps, the open file fd; with `writes`, whether
// it writes to it.
bool usesContentOf(std::uint64_t nr, const std::uint64_t* args, long fd, bool writes) {
  const auto file = static_cast<std::uint64_t>(fd);
  if (writes) return (nr == SYS_write || nr == SYS_pwrite64 || nr == SYS_writev) && args[0] == file;
  if (nr == SYS_read || nr == SYS_pread64 || nr == SYS_readv) return args[0] == file;
  return nr == SYS_mmap && args[4] == file;
}

// Follows the system calls of pid, stopped after its exec, until it first reads or maps (or,
// with `writes`, writes to) the file opened as interception.path, or opens it (atOpen); runs the
// action there and lets the process go. Returns the wait status when the process ended first.
std::optional<int> interceptFirstUse(pid_t pid, const FileInterception& interception, bool writes) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return status;
  if (!WIFSTOPPED(status)) return status;
  ::ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  bool openingTarget = false;
  long targetFd = -1;
  int pendingSignal = 0;
  for (;;) {
    if (::ptrace(PTRACE_SYSCALL, pid, nullptr, pendingSignal) != 0) return std::nullopt;
    if (::waitpid(pid, &status, 0) != pid) return std::nullopt;
    if (!WIFSTOPPED(status)) return status;
    pendingSignal = 0;
    if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
      pendingSignal = WSTOPSIG(status) == SIGTRAP ? 0 : WSTOPSIG(status);
      continue;
    }
    __ptrace_syscall_info info{};
    if (::ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info) <= 0) continue;
    if (info.op == PTRACE_SYSCALL_INFO_ENTRY && info.entry.nr == SYS_openat) {
      const std::string name = textIn(pid, info.entry.args[1]);
      openingTarget =
          interception.prefix ? name.rfind(interception.path, 0) == 0 : name == interception.path;
      if (openingTarget && interception.atOpen) {
        interception.action();
        ::ptrace(PTRACE_DETACH, pid, nullptr, 0);
        return std::nullopt;
      }
    } else if (info.op == PTRACE_SYSCALL_INFO_ENTRY && info.entry.nr == SYS_close &&
               targetFd >= 0 && info.entry.args[0] == static_cast<std::uint64_t>(targetFd)) {
      targetFd = -1;
    } else if (info.op == PTRACE_SYSCALL_INFO_EXIT && openingTarget) {
      openingTarget = false;
      if (!info.exit.is_error) targetFd = info.exit.rval;
    } else if (info.op == PTRACE_SYSCALL_INFO_ENTRY && targetFd >= 0 &&
               usesContentOf(info.entry.nr, info.entry.args, targetFd, writes)) {
      interception.action();
      ::ptrace(PTRACE_DETACH, pid, nullptr, 0);
      return std::nullopt;
    }
  }
}

}  // namespace

std::string reachableCopy(const std::string& program, const TempDir& dir) {
  namespace fs = std::filesystem;
  const fs::path absolute = fs::absolute(program);
  bool reachable = true;
  for (fs::path at = absolute; reachable && at != at.parent_path(); at = at.parent_path()) {
    struct stat st {};
    reachable = ::stat(at.c_str(), &st) == 0 && (st.st_mode & S_IXOTH) != 0;
  }
  if (reachable) return program;
  const std::string copy = dir / absolute.filename().string();
  fs::copy_file(absolute, copy, fs::copy_options::overwrite_existing);
  fs::permissions(copy, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
  return copy;
}

RunResult run(const std::string& program, const std::vector<std::string>& args,
              const RunOptions& options) {
  std::vector<std::string> argvText = options.argv.value_or(std::vector<std::string>{program});
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::map<std::string, std::string> envMap;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::size_t eq = entry.find('=');
    if (eq != std::string::npos) envMap[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [name, value] : options.env) {
    if (value)
      envMap[name] = *value;
    else
      envMap.erase(name);
  }
  std::vector<std::string> envText;
  for (const auto& [name, value] : envMap) envText.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);

  // Close-on-exec, so that programs run at the same time from other threads hold no copies of
  // these pipes and each run's outputs close when its own program ends.
  int outPipe[2], errPipe[2], inPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0 ||
      ::pipe2(inPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe");
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(inPipe[0], 0);
    ::dup2(outPipe[1], 1);
    ::dup2(errPipe[1], 2);
    if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0) ::_exit(126);
    for (const ResourceLimit& limit : options.limits) {
      const rlimit value{static_cast<rlim_t>(limit.value), static_cast<rlim_t>(limit.value)};
      if (::setrlimit(limit.resource, &value) != 0) ::_exit(126);
    }
    for (const int ignored : options.ignoredSignals) ::signal(ignored, SIG_IGN);
    constexpr uid_t kNobody = 65534;
    if (options.unprivileged && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      ::_exit(126);
    }
    if ((options.beforeFirstRead || options.beforeFirstWrite) &&
        ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
      ::_exit(126);
    }
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  if (options.started) options.started(pid);
  std::optional<int> endedStatus;
  if (options.beforeFirstRead)
    endedStatus = interceptFirstUse(pid, *options.beforeFirstRead, false);
  if (options.beforeFirstWrite)
    endedStatus = interceptFirstUse(pid, *options.beforeFirstWrite, true);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  ::close(inPipe[0]);
  // Feed stdin, then read both outputs until they close.
  const char* in = options.stdinData.data();
  std::size_t inLeft = options.stdinData.size();
  while (inLeft > 0) {
    const ssize_t n = ::write(inPipe[1], in, inLeft);
    if (n <= 0) break;
    in += n;
    inLeft -= static_cast<std::size_t>(n);
  }
  ::close(inPipe[1]);
  RunResult result;
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  int open = 2;
  char buffer[65536];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = endedStatus.value_or(0);
  if (!endedStatus) ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

}  // namespace tavmor::test
