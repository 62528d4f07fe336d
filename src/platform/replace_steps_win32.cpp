#include <windows.h>

#include "platform/os_win32.hpp"
#include "platform/path.hpp"
#include "platform/replace_steps.hpp"
#include "platform/temp_name.hpp"

namespace tavmor {
namespace {

// The calling thread's last error, as a failed step.
Status lastStepFailure(Status::Code code = Status::Code::kFailed) {
  return stepFailure(code, lastError());
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
  return dir + "." + name + "." + randomLetters(random, 8);
}

class Win32NewFile final : public NewFile {
 public:
  Win32NewFile(HANDLE handle, std::string path) : handle_{handle}, path_(std::move(path)) {}

  const std::string& path() const override { return path_; }
  Status write(const unsigned char* data, std::uint64_t size) override {
    return writeAll(handle_.handle, data, size);
  }
  Status sync() override {
    return ::FlushFileBuffers(handle_.handle) ? Status::success()
                                              : lastStepFailure(Status::Code::kCannotWrite);
  }
  // Windows runs files by their name's extension, and a new file takes the access rules of its
  // folder, which for the temp directory is the user's own.
  Status setFinalMode(FileMode) override { return Status::success(); }
  Status close() override {
    const HANDLE handle = handle_.handle;
    handle_.handle = INVALID_HANDLE_VALUE;
    return ::CloseHandle(handle) ? Status::success() : lastStepFailure(Status::Code::kCannotWrite);
  }

 private:
  HandleCloser handle_;
  const std::string path_;
};

class Win32ReplaceSteps final : public ReplaceSteps {
 public:
  Result<std::unique_ptr<NewFile>> createBeside(const std::string& path, FileMode) override {
    if (!pathFromUtf8(path))
      return stepFailure(Status::Code::kFailed, "the name is not valid UTF-8");
    std::uint64_t random = static_cast<std::uint64_t>(::GetTickCount64()) ^
                           (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32) ^
                           reinterpret_cast<std::uintptr_t>(&random);
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string temp = siblingTempName(path, random);
      // Cut at a character's start from a name that converted, it converts too; were it not to,
      // the empty name would fail to be created.
      const NativePath native = pathFromUtf8(temp).value_or(NativePath());
      // CREATE_NEW never opens an existing file, nor follows a link planted at the name. Others
      // may read it meanwhile, as the check does by its name, but neither write, move nor
      // remove it.
      const HANDLE handle = ::CreateFileW(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE) {
        return std::unique_ptr<NewFile>(std::make_unique<Win32NewFile>(handle, std::move(temp)));
      }
      if (::GetLastError() != ERROR_FILE_EXISTS) return lastStepFailure();
    }
    return stepFailure(Status::Code::kFailed, "every name tried was taken");
  }

  // Replaces a file, or a link, at the target in one step; a directory there makes it fail.
  Status moveOnto(const std::string& temp, const std::string& path,
                  Durability durability) override {
    const auto from = pathFromUtf8(temp);
    const auto to = pathFromUtf8(path);
    if (!from || !to) return stepFailure(Status::Code::kFailed, "the name is not valid UTF-8");
    const DWORD flags = MOVEFILE_REPLACE_EXISTING |
                        (durability == Durability::kDurable ? MOVEFILE_WRITE_THROUGH : 0);
    return ::MoveFileExW(from->c_str(), to->c_str(), flags) ? Status::success() : lastStepFailure();
  }

  void remove(const std::string& path) override { removeFileQuietly(path); }

  // MOVEFILE_WRITE_THROUGH made the move reach the disk.
  void syncFolderOf(const std::string&) override {}
};

}  // namespace

ReplaceSteps& platformReplaceSteps() {
  static Win32ReplaceSteps steps;
  return steps;
}

}  // namespace tavmor
