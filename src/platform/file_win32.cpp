#include <windows.h>

#include <new>

#include "platform/file.hpp"
#include "platform/path.hpp"

namespace tavmor {
namespace {

constexpr DWORD kMaxChunk = 1u << 30;

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

struct HandleCloser {
  HANDLE handle;
  ~HandleCloser() {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};

bool writeAll(HANDLE handle, const unsigned char* data, std::uint64_t size) {
  while (size > 0) {
    const DWORD chunk = size > kMaxChunk ? kMaxChunk : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(handle, data, chunk, &written, nullptr)) return false;
    if (written == 0) {
      ::SetLastError(ERROR_DISK_FULL);
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

// The next number of a splitmix64 sequence: enough to keep sibling names apart, which
// CREATE_NEW makes safe anyway.
std::uint64_t nextRandom(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15u);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
  return z ^ (z >> 31);
}

// A name beside `path` that nothing else uses: "." + its file name + "." + random letters.
std::string siblingTempName(const std::string& path, std::uint64_t& random) {
  const std::size_t cut = path.find_last_of("/\\:");
  const std::string dir = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  // A name holds at most 255 UTF-16 units; 120 characters take at most 240 of them, whatever
  // they are, which leaves room for the dots and letters.
  constexpr std::size_t kMostCharacters = 120;
  std::size_t end = 0;
  for (std::size_t characters = 0; end < name.size() && characters < kMostCharacters;
       ++characters) {
    ++end;
    while (end < name.size() && (static_cast<unsigned char>(name[end]) & 0xc0) == 0x80) ++end;
  }
  name.resize(end);
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix(8, 'x');
  for (char& c : suffix) c = kLetters[nextRandom(random) % (sizeof(kLetters) - 1)];
  return dir + "." + name + "." + suffix;
}

}  // namespace

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
  const auto size = static_cast<std::uint64_t>(fileSize.QuadPart);
  if (size >= SIZE_MAX) return readFailure(Status::Code::kNoMemory, path, {});
  // One extra byte lets the read notice a file that grew since its size was taken.
  FileImage image;
  image.bytes.reset(new (std::nothrow) unsigned char[static_cast<std::size_t>(size) + 1]);
  if (!image.bytes) return readFailure(Status::Code::kNoMemory, path, {});
  std::uint64_t done = 0;
  while (done <= size) {
    const std::uint64_t want = size + 1 - done;
    const DWORD chunk = want > kMaxChunk ? kMaxChunk : static_cast<DWORD>(want);
    DWORD got = 0;
    if (!::ReadFile(handle, image.bytes.get() + done, chunk, &got, nullptr)) {
      return readFailure(Status::Code::kCannotRead, path, lastError());
    }
    if (got == 0) break;
    done += got;
  }
  if (done != size) {
    return readFailure(
        Status::Code::kCannotRead, path,
        done < size ? "the file shrank while it was read" : "the file grew while it was read");
  }
  image.size = size;
  return image;
}

Result<FileImage> mapWholeFile(const std::string& path) {
  // Read whole: a page of a mapped view that cannot be read (a network drive gone away) raises
  // an in-page error in whatever code touches it, which only structured exception handling,
  // not C++, could turn into an orderly message.
  return readWholeFile(path);
}

bool imageIntact(const FileImage&) { return true; }

Status replaceFileAtomically(const std::string& path, const unsigned char* data, std::uint64_t size,
                             FileMode, const WriteCheck& check, Durability durability) {
  // The mode needs nothing here: Windows runs files by their name's extension, and a new file
  // takes the access rules of its folder, which for the temp directory is the user's own.
  const auto target = pathFromUtf8(path);
  if (!target) {
    return Status::failure("the name is not valid UTF-8");
  }
  std::uint64_t random = static_cast<std::uint64_t>(::GetTickCount64()) ^
                         (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32) ^
                         reinterpret_cast<std::uintptr_t>(&random);
  std::string temp;
  NativePath nativeTemp;
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
    temp = siblingTempName(path, random);
    nativeTemp = *pathFromUtf8(temp);
    // CREATE_NEW never opens an existing file, nor follows a link planted at the name.
    handle = ::CreateFileW(nativeTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (handle == INVALID_HANDLE_VALUE) {
    const std::string reason = lastError();
    return Status::failure(Status::Code::kFailed, "cannot create " + temp + ": " + reason, reason);
  }
  // The failure of a step, with the system's reason taken before anything else can change it;
  // the temporary file goes.
  auto fail = [&](Status::Code code, const std::string& what) {
    const std::string reason = lastError();
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    ::DeleteFileW(nativeTemp.c_str());
    return Status::failure(code, what + ": " + reason, reason);
  };
  if (!writeAll(handle, data, size))
    return fail(Status::Code::kCannotWrite, "cannot write " + temp);
  const bool durable = durability == Durability::kDurable;
  if (durable && !::FlushFileBuffers(handle)) {
    return fail(Status::Code::kCannotWrite, "cannot write " + temp);
  }
  const HANDLE written = handle;
  handle = INVALID_HANDLE_VALUE;
  if (!::CloseHandle(written)) return fail(Status::Code::kCannotWrite, "cannot write " + temp);
  if (check) {
    if (const Status checked = check(temp); !checked.ok()) {
      ::DeleteFileW(nativeTemp.c_str());
      return Status::failure("the written file " + temp +
                             " did not check out: " + checked.message());
    }
  }
  // Replaces a file, or a link, at the target in one step; a directory there makes it fail.
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
  if (!::MoveFileExW(nativeTemp.c_str(), target->c_str(), flags)) {
    return fail(Status::Code::kFailed, "cannot replace " + path);
  }
  return Status::success();
}

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
        if (writeAll(handle, data, size)) return Status::success();
        const std::string reason = lastError();
        return Status::failure(Status::Code::kCannotWrite, "cannot write: " + reason, reason);
      }
    }
  }
  return replaceFileAtomically(path, data, size, mode, check);
}

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

namespace tavmor {

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
  const bool none = output == nullptr || output == INVALID_HANDLE_VALUE;
  if (!none && writeAll(output, data, size)) return Status::success();
  const std::string reason = none ? std::string("there is no standard output") : lastError();
  return Status::failure(Status::Code::kCannotWrite, "cannot write to standard output: " + reason,
                         reason);
}

const char* executableSuffix() { return ".exe"; }

}  // namespace tavmor
