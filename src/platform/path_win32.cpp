#include <windows.h>

#include <climits>

#include "platform/path.hpp"

namespace tavmor {

// Windows paths are UTF-16. Both conversions are strict: a byte sequence that is not UTF-8 (or a
// lone surrogate in a path) is refused rather than replaced, so that no file other than the one
// named is ever opened, written or removed.
std::optional<std::filesystem::path> pathFromUtf8(const std::string& text) {
  if (text.empty()) return std::filesystem::path();
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
  return std::filesystem::path(wide);
}

std::optional<std::string> utf8FromPath(const std::filesystem::path& path) {
  const std::wstring& wide = path.native();
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

void removeFileQuietly(const std::string& path) {
  // A file the interpreter still holds open without delete sharing stays; the next run replaces it.
  if (const auto native = pathFromUtf8(path)) ::DeleteFileW(native->c_str());
}

}  // namespace tavmor
