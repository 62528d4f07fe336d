#pragma once
// What the file functions share.

#include <optional>
#include <string>
#include <string_view>

namespace tavmor::rexxutil {

// The package's code for a failure with errno `error` (2 no such file, 5 denied or existing,
// 32 busy, ...); -1 for the errors that mean something is badly wrong.
int errnoCode(int error);

// The bytes of the file at path, as text for a script, or nothing when it cannot be read whole.
std::optional<std::string> readFileText(const std::string& path);

// Writes text to the file at path, replacing what it held (an existing file as rewriteFile
// replaces it) or after it, with `append`; false when the file could not be written whole.
bool writeWholeFile(const std::string& path, const std::string& text, bool append = false);

// Makes the regular file at path, followed through links as regutil writes through them, hold
// `text`, keeping its mode, owner and other names: a new file made beside it is renamed over it,
// or, where that could not keep them (another owner, a folder closed to us, hard links), the file
// is written in place once the space is reserved. False when it could not; the file is then as
// it was.
bool rewriteFile(const std::string& path, std::string_view text);

}  // namespace tavmor::rexxutil
