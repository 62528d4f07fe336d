#pragma once
// How a finished temporary file is moved onto its target on POSIX systems.

#include <string>

#include "util/status.hpp"

namespace tavmor {

// Swaps the files at a and b in one step, where the system can (Linux's renameat2 with
// RENAME_EXCHANGE); false, with nothing changed, where it cannot.
using ExchangeFunction = bool (*)(const std::string& a, const std::string& b);
bool exchangeFiles(const std::string& a, const std::string& b);

// Moves the file at temp onto path in one atomic step. A file (or link) at path is exchanged
// with temp and then removed; where that fails (nothing at path, or a system that cannot
// exchange) temp is renamed onto path. Fails with the system's reason, and path as it was, when
// neither works; temp is then still there. `exchange` lets tests play a system that cannot.
Status moveOnto(const std::string& temp, const std::string& path,
                ExchangeFunction exchange = exchangeFiles);

}  // namespace tavmor
