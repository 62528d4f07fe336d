#pragma once
// Where the running program is, for the tool to find what was installed beside it.

#include <string>

namespace tavmor {

// The path of the running executable (UTF-8), or an empty string when the platform cannot tell.
std::string currentExecutablePath();

}  // namespace tavmor
