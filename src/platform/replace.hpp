#pragma once
// Writing a file whole under a temporary name and moving it onto its target in one step. Paths
// are UTF-8 text on every platform.

#include <cstdint>
#include <functional>
#include <string>

#include "util/status.hpp"

namespace tavmor {

// kOwnerOnly: mode 0600. kExecutable: 0777 less what the umask takes away, as for any new file.
enum class FileMode { kOwnerOnly, kExecutable };

// Checks the finished temporary file before it replaces the target; a failure aborts the write,
// and its message says why.
using WriteCheck = std::function<Status(const std::string& tempPath)>;

// kDurable: the new file reaches the disk before it replaces the old one, so that a crash leaves
// one or the other whole (the user's outputs). kScratch: the replacement is atomic between
// processes but not across a crash, and fast (the launcher's temp script file).
enum class Durability { kDurable, kScratch };

// Writes `size` bytes of data to the file being made; false when they could not be written.
using ChunkWriter = std::function<bool(const unsigned char* data, std::uint64_t size)>;
// Produces a file's content piece by piece through `write`, and stops at the first piece that
// could not be written. Fails for a reason of its own when the content cannot be made.
using ContentSource = std::function<Status(const ChunkWriter& write)>;

// Writes what `content` produces to a new, exclusively created file beside `path`, checks it,
// and moves it onto `path` in one atomic step. On failure nothing is left behind, an existing
// file at `path` is untouched, and the failure says which step failed and why, without naming
// `path`, which the caller names ("cannot write TEMP: REASON", "cannot replace it: REASON"; its
// code is kCannotWrite where the file was made but could not be written whole), or is the
// content's own.
Status replaceFileAtomically(const std::string& path, const ContentSource& content, FileMode mode,
                             const WriteCheck& check, Durability durability = Durability::kDurable);

// The same for `size` bytes at data.
inline Status replaceFileAtomically(const std::string& path, const unsigned char* data,
                                    std::uint64_t size, FileMode mode, const WriteCheck& check,
                                    Durability durability = Durability::kDurable) {
  return replaceFileAtomically(
      path,
      [&](const ChunkWriter& write) {
        write(data, size);
        return Status::success();
      },
      mode, check, durability);
}

}  // namespace tavmor
