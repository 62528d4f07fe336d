#pragma once
// The few file operations that replaceFileAtomically is made of, which each platform supplies
// (replace_steps_posix.cpp, replace_steps_win32.cpp). Each failure carries the system's reason
// alone, as message and reason; replaceFileAtomically says which step failed.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/replace.hpp"
#include "util/status.hpp"

namespace tavmor {

// A new file, open for writing and readable by its owner until it is closed. Closes itself
// when it goes, if it is still open.
class NewFile {
 public:
  virtual ~NewFile() = default;
  // Where it is.
  virtual const std::string& path() const = 0;
  // Writes all `size` bytes at data after what was written before; kCannotWrite when it cannot.
  virtual Status write(const unsigned char* data, std::uint64_t size) = 0;
  // Makes what was written reach the disk.
  virtual Status sync() = 0;
  // Gives the file the mode it keeps, as `mode` asks: for kExecutable the one the system gave it
  // when it was created.
  virtual Status setFinalMode(FileMode mode) = 0;
  virtual Status close() = 0;
};

class ReplaceSteps {
 public:
  virtual ~ReplaceSteps() = default;
  // Creates a new file in the folder of `path` under a name nothing else uses, exclusively:
  // never an existing file, nor through a link planted at the name. Nothing is left behind when
  // it fails.
  virtual Result<std::unique_ptr<NewFile>> createBeside(const std::string& path, FileMode mode) = 0;
  // Moves the closed file at temp onto path in one atomic step: a file or a link at path is
  // replaced, a directory never. kDurable: the move reaches the disk before it returns, where the
  // platform does that in the move itself.
  virtual Status moveOnto(const std::string& temp, const std::string& path,
                          Durability durability) = 0;
  // Removes the closed file at path; a failure is ignored.
  virtual void remove(const std::string& path) = 0;
  // Lets a move onto path reach the disk, where the folder has to be synced for that; a failure
  // is ignored, since the file is whole either way.
  virtual void syncFolderOf(const std::string& path) = 0;
};

// This platform's steps.
ReplaceSteps& platformReplaceSteps();

// replaceFileAtomically made of `steps`.
Status replaceFileAtomically(const std::string& path, const ContentSource& content, FileMode mode,
                             const WriteCheck& check, Durability durability, ReplaceSteps& steps);

// A failed step: the system's reason as message and reason.
inline Status stepFailure(Status::Code code, std::string reason) {
  std::string message = reason;
  return Status::failure(code, std::move(message), std::move(reason));
}

}  // namespace tavmor
