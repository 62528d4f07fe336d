#pragma once
// Reading and writing whole files. Paths are UTF-8 text on every platform.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "util/status.hpp"

namespace tavmor {

// Gives back the bytes of a FileImage: a heap block is deleted, a mapping unmapped.
struct FileImageRelease {
  FileImageRelease() = default;
  FileImageRelease(std::default_delete<unsigned char[]>) {}  // a heap block converts
  void operator()(unsigned char* bytes) const {
    if (unmap != nullptr) {
      unmap(bytes, mappedSize);
    } else {
      delete[] bytes;
    }
  }
  void (*unmap)(unsigned char* bytes, std::uint64_t size) = nullptr;
  std::uint64_t mappedSize = 0;
};

// A whole file in one block: a heap block, or a read-only mapping of the file (mapWholeFile).
struct FileImage {
  std::unique_ptr<unsigned char[], FileImageRelease> bytes;
  std::uint64_t size = 0;
};

// Reads the regular file at `path` whole. Never blocks on a FIFO or device. A failure's code is
// kCannotOpen (missing, not a regular file, or a name that is not valid UTF-8), kNoPermission,
// kCannotRead (a read that failed, or a file that changed size meanwhile) or kNoMemory, and its
// message is the one readFailure gives.
Result<FileImage> readWholeFile(const std::string& path);

// Like readWholeFile, but maps the file read-only where the platform allows, so that only the
// pages that are touched are read. A few mappings may live at a time; past them the file is read.
Result<FileImage> mapWholeFile(const std::string& path);

// Whether every byte of image is what the file held. False once a page of a mapped image could
// not be read, because the file shrank under the mapping or the disk failed: such a page reads
// as zeros. Ask after the last look at the bytes.
bool imageIntact(const FileImage& image);

// How readWholeFile fails for path: "PATH: cannot open: REASON" (kCannotOpen, kNoPermission),
// "PATH: cannot read: REASON" (kCannotRead), "PATH: not enough memory to read it" (kNoMemory).
Status readFailure(Status::Code code, const std::string& path, const std::string& reason);

enum class FileMode { kOwnerOnly, kExecutable };

// Checks the finished temporary file before it replaces the target; a failure aborts the write,
// and its message says why.
using WriteCheck = std::function<Status(const std::string& tempPath)>;

// kDurable: the new file reaches the disk before it replaces the old one, so that a crash leaves
// one or the other whole (the user's outputs). kScratch: the replacement is atomic between
// processes but not across a crash, and fast (the launcher's temp script file).
enum class Durability { kDurable, kScratch };

// Writes `size` bytes to a new, exclusively created file beside `path`, checks it, and moves it
// onto `path` in one atomic step. On failure nothing is left behind, an existing file at `path`
// is untouched, and the failure says which step failed and why ("cannot write TEMP: REASON");
// its code is kCannotWrite where the file was made but could not be written whole.
Status replaceFileAtomically(const std::string& path, const unsigned char* data, std::uint64_t size,
                             FileMode mode, const WriteCheck& check,
                             Durability durability = Durability::kDurable);

// Writes `size` bytes to the output file at `path`, as what is there allows. A character
// device, a FIFO or a socket, or a link to one or to the file open as standard output
// (/dev/stdout), is written as it is, never replaced, and `check` is not run; a block device is
// refused. Anything else (nothing, a file, a link to a file or to nothing) is replaced as by
// replaceFileAtomically: a link is replaced, and what it pointed to stays as it was.
Status writeOutputFile(const std::string& path, const unsigned char* data, std::uint64_t size,
                       FileMode mode, const WriteCheck& check);

// Whether both paths name one existing file (through links, other spellings or hard links).
bool sameFile(const std::string& a, const std::string& b);

// The path of the running executable, or an empty string when the platform cannot tell.
std::string currentExecutablePath();

}  // namespace tavmor

namespace tavmor {

// Reads standard input whole, as bytes; fails with "cannot read standard input: REASON".
Result<std::string> readStandardInput();

// Writes bytes to standard output, unconverted; fails with "cannot write to standard output:
// REASON" when they could not all be written.
Status writeStandardOutput(const unsigned char* data, std::uint64_t size);

// The file name suffix of executables: "" on POSIX, ".exe" on Windows.
const char* executableSuffix();

}  // namespace tavmor
