#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/os_posix.hpp"
#include "platform/output.hpp"
#include "platform/replace.hpp"
#include "platform/signals.hpp"

namespace tavmor {

Status writeOutputFile(const std::string& path, const unsigned char* data, std::uint64_t size,
                       FileMode mode, const WriteCheck& check) {
  struct stat st {};
  const bool link = ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  // A link that leads nowhere is replaced like a link to a file.
  const bool there = link ? ::stat(path.c_str(), &st) == 0 : ::lstat(path.c_str(), &st) == 0;
  if (there && S_ISBLK(st.st_mode)) {
    return Status::failure("is a block device, which tavmor does not write to");
  }
  // /dev/stdout with standard output sent to a file: that file is written through the open
  // descriptor, at its offset, as the shell's redirection asked.
  struct stat out {};
  if (link && there && ::fstat(STDOUT_FILENO, &out) == 0 && out.st_dev == st.st_dev &&
      out.st_ino == st.st_ino) {
    const Status written = writeStandardOutput(data, size);
    if (written.ok()) return written;
    return Status::failure(Status::Code::kCannotWrite, "cannot write: " + written.reason(),
                           written.reason());
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
  const auto cannotWrite = [] {
    const std::string reason = systemError();
    return Status::failure(Status::Code::kCannotWrite, "cannot write: " + reason, reason);
  };
  const SignalHold held(HeldSignals::kFileSizeLimit);
  if (!writeAll(fd, data, size)) return cannotWrite();
  closer.fd = -1;
  if (::close(fd) != 0) return cannotWrite();
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
  if (writeAll(STDOUT_FILENO, data, size)) return Status::success();
  const std::string reason = systemError();
  return Status::failure(Status::Code::kCannotWrite, "cannot write to standard output: " + reason,
                         reason);
}

}  // namespace tavmor
