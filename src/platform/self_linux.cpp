#include <fcntl.h>
#include <pwd.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <optional>
#include <vector>

#include "platform/os_posix.hpp"
#include "platform/self.hpp"

namespace tavmor {
namespace {

// As many links as the kernel follows in one lookup before it gives up with ELOOP.
constexpr int kMostLinks = 40;

// Why the step at `at` failed, as errno tells.
Status stepFailure(const std::string& at) {
  const std::string reason = systemError();
  return Status::failure(errno == ENOENT ? Status::Code::kCannotOpen : Status::Code::kCannotRead,
                         at + ": " + reason, reason);
}

// path with links, "." and ".." resolved; nothing when it does not exist.
std::optional<std::string> resolved(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return std::nullopt;
  std::string text = real;
  std::free(real);
  return text;
}

std::string userName(uid_t uid) {
  const passwd* user = ::getpwuid(uid);
  return user != nullptr ? std::string(user->pw_name) + " (" + std::to_string(uid) + ")"
                         : std::to_string(uid);
}

std::string modeText(mode_t mode) {
  constexpr int kModeDigits = 4;
  std::string text(kModeDigits, '0');
  for (int i = 0; i < kModeDigits; ++i) text[kModeDigits - 1 - i] += (mode >> (3 * i)) & 7;
  return text;
}

// The names of path's components, "." and ".." among them, without empty ones.
std::deque<std::string> componentsOf(const std::string& path) {
  std::deque<std::string> names;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = std::min(path.find('/', start), path.size());
    if (slash > start) names.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return names;
}

// A walk down from a folder, one component at a time: each folder is opened below the one
// before it without following links, checked as it was opened, and held open, so that what is
// checked is what the next step opens in. Links are read and followed here, the folder each
// lies in having been checked already.
class Walk {
 public:
  Walk(uid_t owner, std::string program) : owner_(owner), program_(std::move(program)) {}
  ~Walk() { closeAll(); }
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

  // Starts (again) at the folder `path`, which must be canonical, checking it.
  Status startAt(const std::string& path) {
    closeAll();
    return enter(::open(path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), path);
  }

  // Follows `rest` (components of a path relative to the folder the walk started at) to a
  // regular file, and reads that file whole from the descriptor that was checked.
  Result<FileImage> readFile(std::deque<std::string> rest) {
    int links = 0;
    while (!rest.empty()) {
      const std::string name = std::move(rest.front());
      rest.pop_front();
      if (name == ".") continue;
      if (name == "..") {
        if (Status up = leave(rest); !up.ok()) return up;
        continue;
      }
      const std::string at = pathOf(name);
      struct stat st {};
      if (::fstatat(top(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return stepFailure(at);
      if (S_ISLNK(st.st_mode)) {
        if (++links > kMostLinks) {
          return Status::failure(Status::Code::kCannotOpen, at + ": too many links");
        }
        const Result<std::string> target = linkTarget(name, at);
        if (!target.ok()) return target.status();
        std::deque<std::string> parts = componentsOf(*target);
        rest.insert(rest.begin(), parts.begin(), parts.end());
        if ((*target)[0] == '/') {
          // Out of the installation: who may write every folder from "/" down counts.
          if (Status restarted = startAt("/"); !restarted.ok()) return restarted;
        }
        continue;
      }
      // O_NOFOLLOW: a link put in the entry's place since it was looked at is not followed.
      if (!rest.empty()) {
        if (Status entered = enter(
                ::openat(top(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), at);
            !entered.ok()) {
          return entered;
        }
        continue;
      }
      FdCloser file(::openat(top(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
      if (file.fd < 0 || ::fstat(file.fd, &st) != 0) return stepFailure(at);
      if (!S_ISREG(st.st_mode)) {
        return Status::failure(Status::Code::kCannotOpen, at + ": not a regular file");
      }
      if (Status trusted = check(st, "it"); !trusted.ok()) return trusted;
      return readWholeDescriptor(at, file.fd, static_cast<std::uint64_t>(st.st_size));
    }
    return Status::failure(Status::Code::kCannotOpen, pathOf("") + ": is a directory");
  }

 private:
  struct Folder {
    int fd;
    std::string path;
  };

  int top() const { return folders_.back().fd; }
  std::string pathOf(const std::string& name) const {
    const std::string& folder = folders_.back().path;
    return name.empty() ? folder : folder == "/" ? "/" + name : folder + "/" + name;
  }

  void closeAll() {
    for (const Folder& folder : folders_) ::close(folder.fd);
    folders_.clear();
  }

  // Holds the folder `fd` opened as `path`, once it is checked.
  Status enter(int fd, const std::string& path) {
    if (fd < 0) return stepFailure(path);
    folders_.push_back({fd, path});
    struct stat st {};
    if (::fstat(fd, &st) != 0) return stepFailure(path);
    if (!S_ISDIR(st.st_mode)) {
      return Status::failure(Status::Code::kCannotOpen, path + ": not a directory");
    }
    return check(st, "its folder " + path);
  }

  // Goes to the folder above; above the walk's start, that means walking down from "/" to it.
  Status leave(std::deque<std::string>& rest) {
    if (folders_.size() > 1) {
      ::close(folders_.back().fd);
      folders_.pop_back();
      return Status::success();
    }
    const std::string start = folders_.back().path;
    if (start == "/") return Status::success();
    std::deque<std::string> down = componentsOf(start);
    down.pop_back();
    rest.insert(rest.begin(), down.begin(), down.end());
    return startAt("/");
  }

  Result<std::string> linkTarget(const std::string& name, const std::string& at) const {
    std::string target(PATH_MAX, '\0');
    const ssize_t length = ::readlinkat(top(), name.c_str(), target.data(), target.size());
    if (length < 0) return stepFailure(at);
    if (length == 0 || static_cast<std::size_t>(length) >= target.size()) {
      return Status::failure(Status::Code::kCannotOpen, at + ": an unusable link");
    }
    target.resize(static_cast<std::size_t>(length));
    return target;
  }

  Status check(const struct stat& st, const std::string& what) const {
    if (st.st_uid != 0 && st.st_uid != owner_) {
      return Status::failure(Status::Code::kNoPermission,
                             what + " is owned by user " + userName(st.st_uid) +
                                 ", neither root nor the owner of " + program_);
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
      return Status::failure(Status::Code::kNoPermission,
                             what + " may be written by " +
                                 ((st.st_mode & S_IWOTH) != 0 ? "every user" : "its group") +
                                 " (mode " + modeText(st.st_mode) + ")");
    }
    return Status::success();
  }

  uid_t owner_;
  std::string program_;
  std::vector<Folder> folders_;
};

}  // namespace

Result<std::string> currentExecutablePath() {
  constexpr char kSelf[] = "/proc/self/exe";
  std::string buffer(PATH_MAX, '\0');
  const ssize_t length = ::readlink(kSelf, buffer.data(), buffer.size());
  if (length <= 0) {
    const std::string why = std::string(kSelf) + ": " + systemError();
    // Without /proc (an empty root, a bare container), the path the program was started by, which
    // the kernel hands every program: taken against the folder it was started in, which the tool
    // never leaves.
    const auto* started = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
    if (started != nullptr && *started != '\0') {
      if (auto path = resolved(started)) return *path;
    }
    return Status::failure(why);
  }
  if (static_cast<std::size_t>(length) >= buffer.size()) {
    return Status::failure(std::string(kSelf) + ": the path is too long");
  }
  buffer.resize(static_cast<std::size_t>(length));
  return buffer;
}

Result<FileImage> readFileWrittenOnlyByOwners(const std::string& path, const std::string& root,
                                              const std::string& program) {
  const bool under = path.compare(0, root.size(), root) == 0 && path.size() > root.size() &&
                     (root.back() == '/' || path[root.size()] == '/');
  if (root.empty() || !under) {
    return Status::failure(Status::Code::kCannotOpen, path + ": does not lie in " + root);
  }
  // The folders above root are the installation's surroundings, which are not checked; root is
  // taken as the system names it, so that ".." out of it leads where it leads for the system.
  char* canonical = ::realpath(root.c_str(), nullptr);
  if (canonical == nullptr) return stepFailure(root);
  const std::string start = canonical;
  std::free(canonical);
  struct stat st {};
  Walk walk(::stat(program.c_str(), &st) == 0 ? st.st_uid : 0, program);
  if (Status started = walk.startAt(start); !started.ok()) return started;
  return walk.readFile(componentsOf(path.substr(root.size())));
}

}  // namespace tavmor
