#include "platform/replace_posix.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/os_posix.hpp"
#include "platform/replace.hpp"
#include "platform/signals.hpp"
#include "platform/temp_name.hpp"

namespace tavmor {
namespace {

// Creates a new file beside `path` under a name nothing else uses, "." + its file name + "." +
// random letters, exclusively: never an existing file, nor through a link planted at the name.
// The kernel gives it `mode` less what the umask takes away, as it gives any new file. Returns
// the descriptor, or -1 with errno set; the name in temp.
int createSibling(const std::string& dir, const std::string& name, mode_t mode, std::string& temp) {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  std::uint64_t random = static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
                         static_cast<std::uint64_t>(now.tv_nsec);
  random ^= static_cast<std::uint64_t>(::getpid()) << 32 ^ reinterpret_cast<std::uintptr_t>(&now);
  // The name must fit wherever the final name fits, however long that is.
  constexpr std::size_t kLetters = 6;
  constexpr std::size_t kAddedBytes = sizeof("..") - 1 + kLetters;
  const std::string stem = dir + "." + name.substr(0, NAME_MAX - kAddedBytes) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = stem + randomLetters(random, kLetters);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

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

Status replaceFileAtomically(const std::string& path, const ContentSource& content, FileMode mode,
                             const WriteCheck& check, Durability durability) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // Outlives the temporary file: a process never ends between creating it and removing or
  // renaming it, and a write past the file size limit fails as on a full disk.
  const SignalHold held;
  std::string temp;
  const int fd = createSibling(dir, name, mode == FileMode::kExecutable ? 0777 : 0600, temp);
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
  // The mode the kernel gave the file is the one the umask leaves, which an executable keeps;
  // asking for the umask itself would change it for every thread of the process. Meanwhile the
  // owner alone reads and writes it, and can read it back for the check whatever the umask (a
  // umask of 0777 leaves mode 0000).
  struct stat created {};
  if (::fstat(fd, &created) != 0 || ::fchmod(fd, S_IRUSR | S_IWUSR) != 0) {
    return fail(Status::Code::kFailed, "cannot set the mode of " + temp);
  }
  bool written = true;
  const Status produced = content([&](const unsigned char* data, std::uint64_t size) {
    return written = written && writeAll(fd, data, size);
  });
  if (!written) return fail(Status::Code::kCannotWrite, "cannot write " + temp);
  if (!produced.ok()) {
    ::unlink(temp.c_str());
    return produced;
  }
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
  if (mode == FileMode::kExecutable && ::fchmod(fd, created.st_mode & 0777) != 0) {
    return fail(Status::Code::kCannotWrite, "cannot set the mode of " + temp);
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

}  // namespace tavmor
