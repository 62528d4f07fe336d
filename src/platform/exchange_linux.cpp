// Exchanging two files in one step: Linux's renameat2.
#include <fcntl.h>
#include <stdio.h>

#include "platform/replace_steps_posix.hpp"

namespace tavmor {

bool exchangeFiles(const std::string& a, const std::string& b) {
  return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}

}  // namespace tavmor
