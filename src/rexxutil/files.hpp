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

// Writes text to the file at path, replacing what it held (or after it, with `append`); false
// when the file could not be written whole.
bool writeWholeFile(const std::string& path, const std::string& text, bool append = false);

}  // namespace tavmor::rexxutil
