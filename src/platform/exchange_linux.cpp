// Exchanging two files in one step: Linux's renameat2. Elsewhere moveOnto renames instead.
#include <fcntl.h>
#include <stdio.h>

#include "platform/replace_posix.hpp"

namespace tavmor {

int exchangeFiles(const char* a, const char* b) {
  return ::renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE);
}

}  // namespace tavmor
