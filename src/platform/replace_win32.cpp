#include <windows.h>

#include "platform/os_win32.hpp"
#include "platform/path.hpp"
#include "platform/replace.hpp"
#include "platform/temp_name.hpp"

namespace tavmor {
namespace {

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
  return dir + "." + name + "." + randomLetters(random, 8);
}

}  // namespace

Status replaceFileAtomically(const std::string& path, const ContentSource& content, FileMode,
                             const WriteCheck& check, Durability durability) {
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
    // Cut at a character's start from a name that converted, it converts too; were it not to,
    // the empty name would fail to be created.
    nativeTemp = pathFromUtf8(temp).value_or(NativePath());
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
  bool wroteAll = true;
  const Status produced = content([&](const unsigned char* data, std::uint64_t size) {
    return wroteAll = wroteAll && writeAll(handle, data, size);
  });
  if (!wroteAll) return fail(Status::Code::kCannotWrite, "cannot write " + temp);
  if (!produced.ok()) {
    ::CloseHandle(handle);
    ::DeleteFileW(nativeTemp.c_str());
    return produced;
  }
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

}  // namespace tavmor
