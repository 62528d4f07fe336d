#pragma once
// What the Windows platform files share: the system's reason for a failure, handles that close
// themselves, and writes that go on until everything is written.

#include <windows.h>

#include <cstdint>
#include <string>

#include "util/status.hpp"

namespace tavmor {

// The most bytes one ReadFile or WriteFile call is given.
inline constexpr DWORD kMaxChunk = 1u << 30;

// The system's message for the error code, or "system error N" when it has none.
std::string systemError(DWORD code);

// systemError for the calling thread's last error.
std::string lastError();

// Closes the handle it holds when it goes.
struct HandleCloser {
  HANDLE handle;
  ~HandleCloser() {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};

// Writes all `size` bytes to handle. Fails with kCannotWrite and the system's reason as message
// and reason.
Status writeAll(HANDLE handle, const unsigned char* data, std::uint64_t size);

}  // namespace tavmor
