#include "platform/os_win32.hpp"

#include "platform/path.hpp"

namespace tavmor {

std::string systemError(DWORD code) {
  wchar_t* message = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring text(message != nullptr ? message : L"", length);
  ::LocalFree(message);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) {
    text.pop_back();
  }
  const auto utf8 = utf8FromPath(text);
  if (!utf8 || utf8->empty()) return "system error " + std::to_string(code);
  return *utf8;
}

std::string lastError() { return systemError(::GetLastError()); }

Status writeAll(HANDLE handle, const unsigned char* data, std::uint64_t size) {
  while (size > 0) {
    const DWORD chunk = size > kMaxChunk ? kMaxChunk : static_cast<DWORD>(size);
    DWORD written = 0;
    const bool wrote = ::WriteFile(handle, data, chunk, &written, nullptr) != 0;
    if (!wrote || written == 0) {
      const std::string reason = wrote ? systemError(ERROR_DISK_FULL) : lastError();
      return Status::failure(Status::Code::kCannotWrite, reason, reason);
    }
    data += written;
    size -= written;
  }
  return Status::success();
}

}  // namespace tavmor
