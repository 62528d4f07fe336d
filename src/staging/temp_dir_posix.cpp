#include <sys/stat.h>

#include <cstdlib>

#include "staging/staging.hpp"

namespace tavmor {

TempDirectory platformTempDirectory() {
  const char* fromEnv = std::getenv("TMPDIR");
  const std::string dir = fromEnv != nullptr && *fromEnv != '\0' ? fromEnv : "/tmp";
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0) return {std::nullopt, "Temp directory not found: " + dir};
  if (!S_ISDIR(st.st_mode)) return {std::nullopt, "Temp directory is not a directory: " + dir};
  return {dir, {}};
}

}  // namespace tavmor
