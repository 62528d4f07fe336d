#include <unistd.h>

#include "platform/path.hpp"

namespace tavmor {

// POSIX paths are byte strings: no conversion, nothing can fail.
std::optional<std::filesystem::path> pathFromUtf8(const std::string& text) {
  return std::filesystem::path(text);
}

std::optional<std::string> utf8FromPath(const std::filesystem::path& path) { return path.native(); }

void removeFileQuietly(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace tavmor
