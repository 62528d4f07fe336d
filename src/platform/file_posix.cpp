#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/file.hpp"
#include "platform/mapping_guard.hpp"
#include "platform/move_posix.hpp"

namespace tavmor {
namespace {

std::string systemError() { return std::strerror(errno); }

bool writeAll(int fd, const unsigned char* data, std::uint64_t size) {
  while (size > 0) {
    const std::size_t chunk = size > (1u << 30) ? (1u << 30) : static_cast<std::size_t>(size);
    const ssize_t written = ::write(fd, data, chunk);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = ENOSPC;
      return false;
    }
    data += written;
    size -= static_cast<std::uint64_t>(written);
  }
  return true;
}

struct FdCloser {
  explicit FdCloser(int open = -1) : fd(open) {}
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;
  int fd;
};

// Holds back, on this thread, the signals that end a process by default and that users and
// service managers send (SIGHUP, SIGINT, SIGQUIT, SIGTERM) for as long as it lives. One that
// arrives meanwhile takes effect when it goes: a process never ends between creating a
// temporary file and removing or renaming it.
class DeferredTermination {
 public:
  DeferredTermination() {
    sigset_t terminating;
    ::sigemptyset(&terminating);
    for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) ::sigaddset(&terminating, signal);
    ::pthread_sigmask(SIG_BLOCK, &terminating, &previous_);
  }
  ~DeferredTermination() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  DeferredTermination(const DeferredTermination&) = delete;
  DeferredTermination& operator=(const DeferredTermination&) = delete;

 private:
  sigset_t previous_;
};

// A regular file open for reading, and its size.
struct OpenFile {
  FdCloser fd;
  std::uint64_t size = 0;
};

// Opens the regular file at path for readWholeFile and mapWholeFile.
Status openRegularFile(const std::string& path, OpenFile& file) {
  // O_NONBLOCK keeps a FIFO from stalling the open; anything but a regular file is refused.
  file.fd.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (file.fd.fd < 0) {
    return readFailure(
        errno == EACCES || errno == EPERM ? Status::Code::kNoPermission : Status::Code::kCannotOpen,
        path, systemError());
  }
  struct stat st {};
  if (::fstat(file.fd.fd, &st) != 0) {
    return readFailure(Status::Code::kCannotRead, path, systemError());
  }
  if (!S_ISREG(st.st_mode)) {
    return readFailure(Status::Code::kCannotOpen, path,
                       S_ISDIR(st.st_mode) ? "is a directory" : "not a regular file");
  }
  file.size = static_cast<std::uint64_t>(st.st_size);
  return Status::success();
}

// Reads the `size` bytes of the file open at fd into a heap block, in one call where the
// system allows, and notices a file that has changed size.
Result<FileImage> readOpenFile(const std::string& path, const OpenFile& file) {
  const std::uint64_t size = file.size;
  if (size >= SIZE_MAX) return readFailure(Status::Code::kNoMemory, path, {});
  // One extra byte lets the read notice a file that grew since fstat.
  FileImage image;
  image.bytes.reset(new (std::nothrow) unsigned char[static_cast<std::size_t>(size) + 1]);
  if (!image.bytes) return readFailure(Status::Code::kNoMemory, path, {});
  std::uint64_t done = 0;
  while (done <= size) {
    const std::uint64_t want = size + 1 - done;
    const std::size_t chunk = want > (1u << 30) ? (1u << 30) : static_cast<std::size_t>(want);
    const ssize_t got = ::read(file.fd.fd, image.bytes.get() + done, chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      return readFailure(Status::Code::kCannotRead, path, systemError());
    }
    if (got == 0) break;
    done += static_cast<std::uint64_t>(got);
  }
  if (done != size) {
    return readFailure(
        Status::Code::kCannotRead, path,
        done < size ? "the file shrank while it was read" : "the file grew while it was read");
  }
  image.size = size;
  return image;
}

}  // namespace

Result<FileImage> readWholeFile(const std::string& path) {
  OpenFile file;
  if (Status opened = openRegularFile(path, file); !opened.ok()) return opened;
  return readOpenFile(path, file);
}

Result<FileImage> mapWholeFile(const std::string& path) {
  OpenFile file;
  if (Status opened = openRegularFile(path, file); !opened.ok()) return opened;
  const std::uint64_t size = file.size;
  void* start = size == 0 || size >= SIZE_MAX ? MAP_FAILED  // an empty file has no mapping
                                              : ::mmap(nullptr, static_cast<std::size_t>(size),
                                                       PROT_READ, MAP_PRIVATE, file.fd.fd, 0);
  if (start != MAP_FAILED && !guardMapping(start, size)) {
    ::munmap(start, static_cast<std::size_t>(size));
    start = MAP_FAILED;
  }
  if (start == MAP_FAILED) return readOpenFile(path, file);
  FileImageRelease release;
  release.unmap = unmapGuarded;
  release.mappedSize = size;
  FileImage image;
  image.bytes = std::unique_ptr<unsigned char[], FileImageRelease>(
      static_cast<unsigned char*>(start), release);
  image.size = size;
  return image;
}

bool imageIntact(const FileImage& image) { return !mappingDamaged(image.bytes.get()); }

int exchangeFiles(const char* a, const char* b) {
  return ::renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE);
}

bool moveOnto(const std::string& temp, const std::string& path, ExchangeFunction exchange) {
  // Exchanged, not renamed over: a rename over an existing file has ext4 write the new one out
  // at once (auto_da_alloc), which cost a launcher start several milliseconds.
  if (exchange(temp.c_str(), path.c_str()) != 0) return ::rename(temp.c_str(), path.c_str()) == 0;
  if (::unlink(temp.c_str()) == 0) return true;
  // A directory was at path, and now is at temp: it goes back, and the move fails as a rename
  // onto a directory would.
  const int reason = errno;
  exchange(temp.c_str(), path.c_str());
  errno = reason;
  return false;
}

Status replaceFileAtomically(const std::string& path, const unsigned char* data, std::uint64_t size,
                             FileMode mode, const WriteCheck& check, Durability durability) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const DeferredTermination deferred;  // outlives the temporary file
  // The temporary name must fit wherever the final name fits, however long that is.
  constexpr std::size_t kAddedBytes = sizeof(".") - 1 + sizeof(".XXXXXX") - 1;
  std::string temp = dir + "." + name.substr(0, NAME_MAX - kAddedBytes) + ".XXXXXX";
  // mkstemp creates the file exclusively, never through a planted link.
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    const std::string reason = systemError();
    return Status::failure(Status::Code::kFailed,
                           "cannot create a temporary file in " +
                               (dir.empty() ? std::string(".") : dir) + ": " + reason,
                           reason);
  }
  FdCloser closer(fd);
  // The failure of a step, with the system's reason taken before anything else can change it;
  // the temporary file goes.
  auto fail = [&](Status::Code code, const std::string& what) {
    const std::string reason = systemError();
    ::unlink(temp.c_str());
    return Status::failure(code, what + ": " + reason, reason);
  };
  // mkstemp's 0600 is subject to the umask; the owner must be able to read the file back for
  // the check, whatever the umask (a umask of 0777 left mode 0000).
  if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0) {
    return fail(Status::Code::kFailed, "cannot set the mode of " + temp);
  }
  if (!writeAll(fd, data, size)) return fail(Status::Code::kCannotWrite, "cannot write " + temp);
  if (durability == Durability::kDurable && ::fsync(fd) != 0) {
    return fail(Status::Code::kCannotWrite, "cannot write " + temp);
  }
  // Checked before the mode is set: the check reads the file by its name, which the mode that
  // a umask such as 0777 leaves would forbid.
  if (check) {
    if (const Status checked = check(temp); !checked.ok()) {
      ::unlink(temp.c_str());
      return Status::failure("the written file " + temp +
                             " did not check out: " + checked.message());
    }
  }
  if (mode == FileMode::kExecutable) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0777 & ~mask) != 0) {
      return fail(Status::Code::kCannotWrite, "cannot set the mode of " + temp);
    }
  }
  closer.fd = -1;
  if (::close(fd) != 0) return fail(Status::Code::kCannotWrite, "cannot write " + temp);
  if (!moveOnto(temp, path)) return fail(Status::Code::kFailed, "cannot replace " + path);
  if (durability == Durability::kScratch) return Status::success();
  // The move itself reaches the disk with the folder; a failure here leaves a file that is
  // whole either way, so it is not reported.
  const int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return Status::success();
}

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
  if (!writeAll(fd, data, size)) return cannotWrite();
  closer.fd = -1;
  if (::close(fd) != 0) return cannotWrite();
  return Status::success();
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string currentExecutablePath() {
  std::string buffer(PATH_MAX, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return {};
  buffer.resize(static_cast<std::size_t>(length));
  return buffer;
}

}  // namespace tavmor

namespace tavmor {

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
  if (writeAll(STDOUT_FILENO, data, size)) return Status::success();
  const std::string reason = systemError();
  return Status::failure(Status::Code::kCannotWrite, "cannot write to standard output: " + reason,
                         reason);
}

const char* executableSuffix() { return ""; }

}  // namespace tavmor
