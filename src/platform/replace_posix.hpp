#pragma once
// How replaceFileAtomically moves a finished temporary file onto its target on POSIX.

#include <string>

namespace tavmor {

// Swaps the files at a and b in one step (renameat2's RENAME_EXCHANGE): 0, or -1 with errno set,
// EINVAL on a file system that cannot.
using ExchangeFunction = int (*)(const char* a, const char* b);
int exchangeFiles(const char* a, const char* b);

// Moves the file at temp onto path in one atomic step. A file (or link) at path is exchanged
// with temp and then removed; where that fails (nothing at path, or a file system that cannot
// exchange) temp is renamed onto path. False, with errno set and path as it was, when neither
// works; temp is then still there. `exchange` lets tests play a file system that cannot.
bool moveOnto(const std::string& temp, const std::string& path,
              ExchangeFunction exchange = exchangeFiles);

}  // namespace tavmor
