#include <windows.h>

#include <new>

#include "platform/file.hpp"
#include "platform/os_win32.hpp"
#include "platform/path.hpp"
#include "platform/read_sized.hpp"

namespace tavmor {

Result<FileImage> readWholeFile(const std::string& path) {
  const auto native = pathFromUtf8(path);
  if (!native) return readFailure(Status::Code::kCannotOpen, path, "the name is not valid UTF-8");
  // Opening a directory fails here; devices, pipes and consoles are refused by type below.
  const HANDLE handle = ::CreateFileW(native->c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return readFailure(Status::Code::kCannotOpen, path, lastError());
  }
  HandleCloser closer{handle};
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    return readFailure(Status::Code::kCannotOpen, path, "not a regular file");
  }
  LARGE_INTEGER fileSize{};
  if (!::GetFileSizeEx(handle, &fileSize)) {
    return readFailure(Status::Code::kCannotRead, path, lastError());
  }
  const auto readSome = [&](unsigned char* into, std::uint64_t want) {
    DWORD got = 0;
    return ::ReadFile(handle, into, static_cast<DWORD>(want), &got, nullptr)
               ? std::optional(std::uint64_t{got})
               : std::nullopt;
  };
  return readSizedFile(path, static_cast<std::uint64_t>(fileSize.QuadPart), readSome, lastError);
}

Result<FileImage> mapWholeFile(const std::string& path) {
  // Read whole: a page of a mapped view that cannot be read (a network drive gone away) raises
  // an in-page error in whatever code touches it, which only structured exception handling,
  // not C++, could turn into an orderly message.
  return readWholeFile(path);
}

void releasePages(const FileImage&, const unsigned char*, std::uint64_t) {}

bool imageIntact(const FileImage&) { return true; }

bool sameFile(const std::string& a, const std::string& b) {
  const auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const auto native = pathFromUtf8(path);
    if (!native) return false;
    const HANDLE handle =
        ::CreateFileW(native->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool ok = ::GetFileInformationByHandle(handle, &info) != 0;
    ::CloseHandle(handle);
    return ok;
  };
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  return identify(a, first) && identify(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace tavmor
