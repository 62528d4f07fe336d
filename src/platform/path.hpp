#pragma once
// Conversions between UTF-8 text and the platform's own paths, and the parts of a path.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tavmor {

// A path as the platform spells it: bytes on POSIX, UTF-16 on Windows. Only the type is taken
// from <filesystem>; the launcher stays clear of its code, which brings the locale machinery.
using NativePath = std::filesystem::path::string_type;

// Nothing when the text is not valid UTF-8 on a platform whose paths are UTF-16.
std::optional<NativePath> pathFromUtf8(const std::string& text);
std::optional<std::string> utf8FromPath(const NativePath& path);

// Where the last element of `path` starts: after its last directory separator, or after a
// drive prefix ("C:") on Windows.
std::size_t fileNameStart(std::string_view path);

// `dir` and `name` joined by one directory separator (none is added after one that ends `dir`).
std::string joinPath(const std::string& dir, const std::string& name);

// Removes the file at the UTF-8 path; a missing file, or one that cannot be removed, is ignored.
void removeFileQuietly(const std::string& path);

}  // namespace tavmor
