#include <windows.h>

#include "platform/path.hpp"
#include "platform/self.hpp"

namespace tavmor {

std::string currentExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
  return utf8FromPath(buffer).value_or(std::string());
}

}  // namespace tavmor
