#include <windows.h>

#include "platform/os_win32.hpp"
#include "platform/output.hpp"
#include "platform/path.hpp"

namespace tavmor {

Status writeOutputFile(const std::string& path, const unsigned char* data, std::uint64_t size,
                       FileMode mode, const WriteCheck& check) {
  // A device (NUL, CON, COM1) or a pipe is written as it is; a file, or nothing, is replaced.
  if (const auto native = pathFromUtf8(path)) {
    const HANDLE handle =
        ::CreateFileW(native->c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      HandleCloser closer{handle};
      if (::GetFileType(handle) != FILE_TYPE_DISK) {
        const Status written = writeAll(handle, data, size);
        if (written.ok()) return written;
        return Status::failure(Status::Code::kCannotWrite, "cannot write: " + written.reason(),
                               written.reason());
      }
    }
  }
  return replaceFileAtomically(path, data, size, mode, check);
}

Result<std::string> readStandardInput() {
  std::string input;
  const HANDLE handle = ::GetStdHandle(STD_INPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    return Status::failure(Status::Code::kCannotRead,
                           "cannot read standard input: there is no standard input");
  }
  char buffer[1 << 16];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(handle, buffer, sizeof buffer, &got, nullptr)) {
      // The writer closing its end of a pipe is how a pipe ends.
      if (::GetLastError() == ERROR_BROKEN_PIPE) return input;
      const std::string reason = lastError();
      return Status::failure(Status::Code::kCannotRead, "cannot read standard input: " + reason,
                             reason);
    }
    if (got == 0) return input;
    input.append(buffer, got);
  }
}

Status writeStandardOutput(const unsigned char* data, std::uint64_t size) {
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const std::string none = "there is no standard output";
  const Status written = output == nullptr || output == INVALID_HANDLE_VALUE
                             ? Status::failure(Status::Code::kCannotWrite, none, none)
                             : writeAll(output, data, size);
  if (written.ok()) return written;
  return Status::failure(Status::Code::kCannotWrite,
                         "cannot write to standard output: " + written.reason(), written.reason());
}

}  // namespace tavmor
