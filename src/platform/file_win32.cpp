#include <windows.h>

#include <new>

#include "platform/file.hpp"
#include "platform/os_win32.hpp"
#include "platform/path.hpp"
#include "platform/read_sized.hpp"

namespace tavmor {
namespace {

// The file's size and its last write and change times. Windows may put off a write's times
// until the writer closes its handle, so a write in progress can show only in the size.
struct FileState {
  LARGE_INTEGER size{};
  FILE_BASIC_INFO times{};
};

bool stateOf(HANDLE handle, FileState& state) {
  return ::GetFileSizeEx(handle, &state.size) &&
         ::GetFileInformationByHandleEx(handle, FileBasicInfo, &state.times, sizeof state.times);
}

}  // namespace

// Mapped images are never made here (see mapWholeFile).
struct MappedSource {};

void MappedSourceClose::operator()(MappedSource* source) const { delete source; }

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
  FileState opened;
  if (!stateOf(handle, opened)) return readFailure(Status::Code::kCannotRead, path, lastError());
  const auto readSome = [&](unsigned char* into, std::uint64_t want) {
    DWORD got = 0;
    return ::ReadFile(handle, into, static_cast<DWORD>(want), &got, nullptr)
               ? std::optional(std::uint64_t{got})
               : std::nullopt;
  };
  Result<FileImage> image =
      readSizedFile(path, static_cast<std::uint64_t>(opened.size.QuadPart), readSome, lastError);
  FileState now;
  if (image.ok() && (!stateOf(handle, now) || now.size.QuadPart != opened.size.QuadPart ||
                     now.times.LastWriteTime.QuadPart != opened.times.LastWriteTime.QuadPart ||
                     now.times.ChangeTime.QuadPart != opened.times.ChangeTime.QuadPart)) {
    return readFailure(Status::Code::kCannotRead, path, "the file was written while it was read");
  }
  return image;
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
