#include "platform/replace_steps_posix.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/os_posix.hpp"
#include "platform/replace_steps.hpp"
#include "platform/temp_name.hpp"

namespace tavmor {
namespace {

// The reason errno holds, taken before anything else can change it.
Status lastStepFailure(Status::Code code = Status::Code::kFailed) {
  return stepFailure(code, systemError());
}

// The folder part of path, with its slash; empty for a bare file name.
std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

class PosixNewFile final : public NewFile {
 public:
  PosixNewFile(int fd, std::string path, mode_t createdMode)
      : fd_(fd), path_(std::move(path)), createdMode_(createdMode) {}

  const std::string& path() const override { return path_; }
  Status write(const unsigned char* data, std::uint64_t size) override {
    return writeAll(fd_.fd, data, size);
  }
  Status sync() override {
    return ::fsync(fd_.fd) == 0 ? Status::success() : lastStepFailure(Status::Code::kCannotWrite);
  }
  Status setFinalMode(FileMode mode) override {
    if (mode != FileMode::kExecutable || ::fchmod(fd_.fd, createdMode_ & 0777) == 0) {
      return Status::success();
    }
    return lastStepFailure();
  }
  Status close() override {
    const int fd = fd_.fd;
    fd_.fd = -1;
    return ::close(fd) == 0 ? Status::success() : lastStepFailure(Status::Code::kCannotWrite);
  }

 private:
  FdCloser fd_;
  const std::string path_;
  const mode_t createdMode_;
};

class PosixReplaceSteps final : public ReplaceSteps {
 public:
  // Named "." + the target's file name + "." + random letters. The kernel gives the file `mode`
  // less what the umask takes away, as it gives any new file; that is the mode an executable
  // keeps, since asking for the umask itself would change it for every thread of the process.
  // Meanwhile the owner alone reads and writes it, and can read it back for the check whatever
  // the umask (a umask of 0777 leaves mode 0000).
  Result<std::unique_ptr<NewFile>> createBeside(const std::string& path, FileMode mode) override {
    const std::string dir = folderOf(path);
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    std::uint64_t random = static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
                           static_cast<std::uint64_t>(now.tv_nsec);
    random ^= static_cast<std::uint64_t>(::getpid()) << 32 ^ reinterpret_cast<std::uintptr_t>(&now);
    // The name must fit wherever the final name fits, however long that is.
    constexpr std::size_t kLetters = 6;
    constexpr std::size_t kAddedBytes = sizeof("..") - 1 + kLetters;
    const std::string stem =
        dir + "." + path.substr(dir.size()).substr(0, NAME_MAX - kAddedBytes) + ".";
    const mode_t asked = mode == FileMode::kExecutable ? 0777 : 0600;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string temp = stem + randomLetters(random, kLetters);
      const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, asked);
      if (fd < 0 && errno == EEXIST) continue;
      if (fd < 0) return lastStepFailure();
      FdCloser closer(fd);
      struct stat created {};
      if (::fstat(fd, &created) != 0 || ::fchmod(fd, S_IRUSR | S_IWUSR) != 0) {
        const Status failure = lastStepFailure();
        ::unlink(temp.c_str());
        return failure;
      }
      closer.fd = -1;
      return std::unique_ptr<NewFile>(
          std::make_unique<PosixNewFile>(fd, std::move(temp), created.st_mode));
    }
    return stepFailure(Status::Code::kFailed, "every name tried was taken");
  }

  Status moveOnto(const std::string& temp, const std::string& path, Durability) override {
    return tavmor::moveOnto(temp, path);
  }

  void remove(const std::string& path) override { ::unlink(path.c_str()); }

  void syncFolderOf(const std::string& path) override {
    const std::string dir = folderOf(path);
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      ::fsync(fd);
      ::close(fd);
    }
  }
};

}  // namespace

Status moveOnto(const std::string& temp, const std::string& path, ExchangeFunction exchange) {
  // Exchanged, not renamed over: a rename over an existing file has ext4 write the new one out
  // at once (auto_da_alloc), which cost a launcher start several milliseconds.
  if (!exchange(temp, path)) {
    return ::rename(temp.c_str(), path.c_str()) == 0 ? Status::success() : lastStepFailure();
  }
  if (::unlink(temp.c_str()) == 0) return Status::success();
  // A directory was at path, and now is at temp: it goes back, and the move fails as a rename
  // onto a directory would.
  const Status failure = lastStepFailure();
  exchange(temp, path);
  return failure;
}

ReplaceSteps& platformReplaceSteps() {
  static PosixReplaceSteps steps;
  return steps;
}

}  // namespace tavmor
