#include <windows.h>

#include "platform/os_win32.hpp"
#include "platform/path.hpp"
#include "platform/self.hpp"

namespace tavmor {

Result<std::string> currentExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return Status::failure("GetModuleFileNameW: " + lastError());
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    if (buffer.size() >= 32768) return Status::failure("GetModuleFileNameW: the path is too long");
    buffer.resize(buffer.size() * 2);
  }
  const auto path = utf8FromPath(buffer);
  if (!path) return Status::failure("its path is not valid Unicode");
  return *path;
}

// Windows keeps who may write a file in access control lists, which this does not read.
Result<FileImage> readFileWrittenOnlyByOwners(const std::string& path, const std::string&,
                                              const std::string&) {
  return readWholeFile(path);
}

}  // namespace tavmor
