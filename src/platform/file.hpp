#pragma once
// Reading and writing whole files. Paths are UTF-8 text on every platform.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tavmor {

// A whole file in one heap block.
struct FileImage {
  std::unique_ptr<unsigned char[]> bytes;
  std::uint64_t size = 0;
};

enum class ReadStatus {
  kOk,
  kCannotOpen,   // missing, unreadable, not a regular file, or a name that is not valid UTF-8
  kShortRead,    // the file changed size or vanished while it was read
  kNoMemory,
};

struct ReadResult {
  ReadStatus status = ReadStatus::kOk;
  FileImage image;
  std::string error;  // the system's reason, when there is one
};

// Reads the regular file at `path` whole. Never blocks on a FIFO or device.
ReadResult readWholeFile(const std::string& path);

enum class FileMode { kOwnerOnly, kExecutable };

// Checks the finished temporary file before it replaces the target; false aborts the write.
using WriteCheck = std::function<bool(const std::string& tempPath)>;

// Writes `size` bytes to a new, exclusively created file beside `path`, checks it, and moves it
// onto `path` in one atomic step. On failure nothing is left behind, an existing file at `path`
// is untouched, false is returned and `error` says why.
bool replaceFileAtomically(const std::string& path, const unsigned char* data, std::uint64_t size,
                           FileMode mode, const WriteCheck& check, std::string& error);

// The path of the running executable, or an empty string when the platform cannot tell.
std::string currentExecutablePath();

}  // namespace tavmor

namespace tavmor {

// Reads standard input whole, as bytes. False when it cannot be read.
bool readStandardInput(std::string& out);

// Writes bytes to standard output, unconverted. False when they could not all be written.
bool writeStandardOutput(const unsigned char* data, std::uint64_t size);

// The file name suffix of executables: "" on POSIX, ".exe" on Windows.
const char* executableSuffix();

}  // namespace tavmor
