#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "staging/staging.hpp"

namespace tavmor {

Result<std::string> platformTempDirectory() {
  const char* fromEnv = std::getenv("TMPDIR");
  const std::string dir = fromEnv != nullptr && *fromEnv != '\0' ? fromEnv : "/tmp";
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0) return Status::failure("Temp directory not found: " + dir);
  if (!S_ISDIR(st.st_mode)) return Status::failure("Temp directory is not a directory: " + dir);
  // Taken against the directory the launcher starts in: the script may change directory, and
  // the removal must still name the file the launcher wrote.
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(dir, error);
  if (error) {
    return Status::failure(
        "The current directory, against which the temp directory is taken, cannot be found: " +
        dir);
  }
  return absolute.native();
}

}  // namespace tavmor
