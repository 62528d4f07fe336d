#include <windows.h>

#include "platform/path.hpp"
#include "staging/staging.hpp"

namespace tavmor {

Result<std::string> platformTempDirectory() {
  // GetTempPathW takes TMP, then TEMP, then USERPROFILE, then the Windows folder; it neither
  // checks that the result exists nor that it is a directory.
  std::wstring buffer(MAX_PATH + 1, L'\0');
  for (;;) {
    const DWORD length = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return Status::failure("The temp directory cannot be determined.");
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    buffer.assign(length + 1, L'\0');
  }
  const auto text = utf8FromPath(buffer);
  if (!text) return Status::failure("The temp directory's name is not valid Unicode.");
  // The reported path ends in a backslash, behind which a plain file cannot be found at all.
  std::wstring probe = buffer;
  if (probe.size() > 3 && probe.back() == L'\\') probe.pop_back();
  const DWORD attributes = ::GetFileAttributesW(probe.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return Status::failure("Temp directory not found: " + *text);
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return Status::failure("Temp directory is not a directory: " + *text);
  }
  return *text;
}

}  // namespace tavmor
