#include <pwd.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <optional>

#include "platform/os_posix.hpp"
#include "platform/self.hpp"

namespace tavmor {
namespace {

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

Status checkWrittenOnlyByOwners(const std::string& path, const std::string& root,
                                const std::string& program) {
  struct stat st {};
  const uid_t owner = ::stat(program.c_str(), &st) == 0 ? st.st_uid : 0;
  const auto file = resolved(path);
  if (!file) return Status::failure(path + ": cannot resolve: " + systemError());
  const std::string top = resolved(root).value_or("/");
  // Up to root when the file lies in it, else (a link leads out of it) up to "/".
  const bool inside = file->size() > top.size() && file->compare(0, top.size(), top) == 0 &&
                      ((*file)[top.size()] == '/' || top == "/");
  std::string at = *file;
  for (;;) {
    if (::stat(at.c_str(), &st) != 0) return Status::failure(at + ": " + systemError());
    const std::string what = at == *file ? "it" : "its folder " + at;
    if (st.st_uid != 0 && st.st_uid != owner) {
      return Status::failure(what + " is owned by user " + userName(st.st_uid) +
                             ", neither root nor the owner of " + program);
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
      constexpr int kModeDigits = 4;
      std::string mode(kModeDigits, '0');
      for (int i = 0; i < kModeDigits; ++i)
        mode[kModeDigits - 1 - i] += (st.st_mode >> (3 * i)) & 7;
      return Status::failure(what + " may be written by " +
                             ((st.st_mode & S_IWOTH) != 0 ? "every user" : "its group") +
                             " (mode " + mode + ")");
    }
    if ((inside && at == top) || at == "/") return Status::success();
    const std::size_t slash = at.rfind('/');
    at = slash == 0 ? "/" : at.substr(0, slash);
  }
}

}  // namespace tavmor
