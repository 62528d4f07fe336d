#include <windows.h>

#include <climits>

#include "platform/path.hpp"

namespace tavmor {

// Windows paths are UTF-16. Both conversions are strict: a byte sequence that is not UTF-8 (or a
// lone surrogate in a path) is refused rather than replaced, so that no file other than the one
// named is ever opened, written or removed.
std::optional<NativePath> pathFromUtf8(const std::string& text) {
  if (text.empty()) return NativePath();
  if (text.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  const int length = static_cast<int>(text.size());
  const int wideLength =
      ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (wideLength <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(),
                            wideLength) != wideLength) {
    return std::nullopt;
  }
  return wide;
}

std::optional<std::string> utf8FromPath(const NativePath& wide) {
  if (wide.empty()) return std::string();
  if (wide.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  const int length = static_cast<int>(wide.size());
  const int narrowLength = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length,
                                                 nullptr, 0, nullptr, nullptr);
  if (narrowLength <= 0) return std::nullopt;
  std::string text(static_cast<std::size_t>(narrowLength), '\0');
  if (::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length, text.data(),
                            narrowLength, nullptr, nullptr) != narrowLength) {
    return std::nullopt;
  }
  return text;
}

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isDrivePrefix(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

}  // namespace

std::size_t fileNameStart(std::string_view path) {
  const std::size_t separator = path.find_last_of("\\/");
  if (separator != std::string_view::npos) return separator + 1;
  return isDrivePrefix(path) ? 2 : 0;
}

std::string joinPath(const std::string& dir, const std::string& name) {
  if (dir.empty() || isSeparator(dir.back()) || (dir.size() == 2 && isDrivePrefix(dir))) {
    return dir + name;
  }
  return dir + "\\" + name;
}

void removeFileQuietly(const std::string& path) {
  // A file the interpreter still holds open without delete sharing stays; the next run replaces it.
  if (const auto native = pathFromUtf8(path)) ::DeleteFileW(native->c_str());
}

}  // namespace tavmor
