#include <unistd.h>

#include "platform/path.hpp"

namespace tavmor {

// POSIX paths are byte strings: no conversion, nothing can fail.
std::optional<NativePath> pathFromUtf8(const std::string& text) { return text; }

std::optional<std::string> utf8FromPath(const NativePath& path) { return path; }

std::size_t fileNameStart(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? 0 : slash + 1;
}

std::string joinPath(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

void removeFileQuietly(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace tavmor
