#include <unistd.h>

#include <climits>

#include "platform/self.hpp"

namespace tavmor {

std::string currentExecutablePath() {
  std::string buffer(PATH_MAX, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return {};
  buffer.resize(static_cast<std::size_t>(length));
  return buffer;
}

}  // namespace tavmor
