#pragma once
// Conversions between UTF-8 text and platform paths.

#include <filesystem>
#include <optional>
#include <string>

namespace tavmor {

// Nothing when the text is not valid UTF-8 on a platform whose paths are UTF-16.
std::optional<std::filesystem::path> pathFromUtf8(const std::string& text);
std::optional<std::string> utf8FromPath(const std::filesystem::path& path);

// Removes the file at the UTF-8 path; a missing file, or one that cannot be removed, is ignored.
void removeFileQuietly(const std::string& path);

}  // namespace tavmor
