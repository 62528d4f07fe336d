#pragma once
// What the file functions share.

#include <optional>
#include <string>

namespace tavmor::rexxutil {

// The package's code for a failure with errno `error` (2 no such file, 5 denied or existing,
// 32 busy, ...); -1 for the errors that mean something is badly wrong.
int errnoCode(int error);

// The whole of a file, or nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path);

}  // namespace tavmor::rexxutil
