#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/os_posix.hpp"
#include "platform/output.hpp"
#include "platform/replace.hpp"
#include "platform/signals.hpp"

namespace tavmor {
namespace {

// N in text that is a whole decimal number of a few digits.
std::optional<int> number(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

// The descriptor of this process that `path` names by itself: /dev/stdin, /dev/stdout,
// /dev/stderr, or N in /dev/fd/N, /proc/self/fd/N, /proc/thread-self/fd/N, /proc/PID/fd/N and
// /proc/PID/task/TID/fd/N with this process's PID. Nothing for any other path.
std::optional<int> descriptorNamedBy(std::string_view path) {
  constexpr std::string_view kStreams[] = {"/dev/stdin", "/dev/stdout", "/dev/stderr"};
  for (int fd = 0; fd < 3; ++fd) {
    if (path == kStreams[fd]) return fd;
  }
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const auto fd = number(path.substr(slash + 1));
  std::string_view dir = path.substr(0, slash);
  if (!fd || dir == "/dev/fd" || dir == "/proc/self/fd" || dir == "/proc/thread-self/fd") return fd;
  const std::string own = "/proc/" + std::to_string(::getpid());
  if (dir.substr(0, own.size()) != own || !(dir.size() > own.size() && dir[own.size()] == '/')) {
    return std::nullopt;
  }
  dir.remove_prefix(own.size());
  if (dir == "/fd") return fd;
  // /task/TID/fd
  if (dir.substr(0, 6) != "/task/" || dir.size() < 9 || dir.substr(dir.size() - 3) != "/fd") {
    return std::nullopt;
  }
  return number(dir.substr(6, dir.size() - 9)) ? fd : std::nullopt;
}

// Follows the links from `path` to the first one, or path itself, that names a descriptor of
// this process, also when it is spelled through other links or ".." (a link to ../dev/stdout);
// nothing when none does.
std::optional<int> descriptorBehind(const std::string& path) {
  std::string hop = path;
  for (int hops = 0; hops < 40; ++hops) {
    if (const auto fd = descriptorNamedBy(hop)) return fd;
    const std::size_t slash = hop.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : hop.substr(0, slash + 1);
    if (char* real = ::realpath(dir.empty() ? "." : dir.c_str(), nullptr)) {
      const std::string canonical = std::string(real) + "/" + hop.substr(slash + 1);
      std::free(real);
      if (const auto fd = descriptorNamedBy(canonical)) return fd;
    }
    std::string target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(hop.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
    target.resize(static_cast<std::size_t>(length));
    hop = target.front() == '/' ? target : dir + target;
  }
  return std::nullopt;
}

// A failed write, or success, worded for the output the user named.
Status cannotWrite(const Status& written) {
  if (written.ok()) return written;
  return Status::failure(Status::Code::kCannotWrite, "cannot write: " + written.reason(),
                         written.reason());
}

// Writes through the descriptor that the output names, as the shell that opened it asked (at
// its offset, in its mode); a closed one is refused, so that nothing is written elsewhere.
Status writeDescriptor(int fd, const unsigned char* data, std::uint64_t size) {
  if (::fcntl(fd, F_GETFD) < 0) {
    return Status::failure("leads to file descriptor " + std::to_string(fd) +
                           ", which is not open; nothing was written");
  }
  const SignalHold held(HeldSignals::kFileSizeLimit);
  return cannotWrite(writeAll(fd, data, size));
}

}  // namespace

Status writeOutputFile(const std::string& path, const unsigned char* data, std::uint64_t size,
                       FileMode mode, const WriteCheck& check) {
  // /dev/stdout and its kind are never replaced: they belong to the machine, and a link to one
  // stands for the descriptor.
  if (const auto fd = descriptorBehind(path)) return writeDescriptor(*fd, data, size);
  struct stat st {};
  const bool link = ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  // A link that leads nowhere is replaced like a link to a file.
  const bool there = link ? ::stat(path.c_str(), &st) == 0 : ::lstat(path.c_str(), &st) == 0;
  if (there && S_ISBLK(st.st_mode)) {
    return Status::failure("is a block device, which tavmor does not write to");
  }
  if (there && S_ISDIR(st.st_mode)) {
    return Status::failure(link ? "is a link to a directory, which tavmor does not replace"
                                : "is a directory");
  }
  // /dev/stdout with standard output sent to a file: that file is written through the open
  // descriptor, at its offset, as the shell's redirection asked.
  struct stat out {};
  if (link && there && ::fstat(STDOUT_FILENO, &out) == 0 && out.st_dev == st.st_dev &&
      out.st_ino == st.st_ino) {
    return cannotWrite(writeStandardOutput(data, size));
  }
  if (!there || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
    return replaceFileAtomically(path, data, size, mode, check);
  }
  // A FIFO blocks here until someone reads it, as it does for any writer.
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Status::failure("cannot open: " + systemError());
  FdCloser closer(fd);
  // Replaced by a file since it was looked at: that is written atomically after all.
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    return replaceFileAtomically(path, data, size, mode, check);
  }
  const SignalHold held(HeldSignals::kFileSizeLimit);
  if (const Status written = writeAll(fd, data, size); !written.ok()) return cannotWrite(written);
  closer.fd = -1;
  if (::close(fd) != 0) {
    const std::string reason = systemError();
    return cannotWrite(Status::failure(Status::Code::kCannotWrite, reason, reason));
  }
  return Status::success();
}

Result<std::string> readStandardInput() {
  std::string input;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      const std::string reason = systemError();
      return Status::failure(Status::Code::kCannotRead, "cannot read standard input: " + reason,
                             reason);
    }
    if (got == 0) return input;
    input.append(buffer, static_cast<std::size_t>(got));
  }
}

Status writeStandardOutput(const unsigned char* data, std::uint64_t size) {
  const SignalHold held(HeldSignals::kFileSizeLimit);
  const Status written = writeAll(STDOUT_FILENO, data, size);
  if (written.ok()) return written;
  return Status::failure(Status::Code::kCannotWrite,
                         "cannot write to standard output: " + written.reason(), written.reason());
}

}  // namespace tavmor
