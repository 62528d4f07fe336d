#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "platform/path.hpp"
#include "staging/staging.hpp"

namespace tavmor {

Result<std::string> platformTempDirectory() {
  const char* fromEnv = std::getenv("TMPDIR");
  const std::string dir = fromEnv != nullptr && *fromEnv != '\0' ? fromEnv : "/tmp";
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0) return Status::failure("Temp directory not found: " + dir);
  if (!S_ISDIR(st.st_mode)) return Status::failure("Temp directory is not a directory: " + dir);
  // Taken against the directory the launcher starts in: the script may change directory, and
  // the removal must still name the file the launcher wrote. Not std::filesystem::absolute,
  // whose library brings the locale machinery into every launcher file (30 KB).
  if (dir.front() == '/') return dir;
  const std::unique_ptr<char, decltype(&std::free)> current(::getcwd(nullptr, 0), &std::free);
  if (current == nullptr) {
    return Status::failure(
        "The current directory, against which the temp directory is taken, cannot be found: " +
        dir);
  }
  return joinPath(current.get(), dir);
}

}  // namespace tavmor
