#pragma once
// What the POSIX platform files share: the system's reason for a failure, descriptors that close
// themselves, and reads and writes that go on until everything is read or written.

#include <cstdint>
#include <string>

#include "platform/file.hpp"
#include "util/status.hpp"

namespace tavmor {

// The system's reason for the failure errno holds.
std::string systemError();

// Closes the descriptor it holds (-1: none) when it goes.
struct FdCloser {
  explicit FdCloser(int open = -1) : fd(open) {}
  ~FdCloser();
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;
  int fd;
};

// Writes all `size` bytes to fd, going on after interruptions. Fails with kCannotWrite and the
// system's reason as message and reason ("No space left on device").
Status writeAll(int fd, const unsigned char* data, std::uint64_t size);

// Reads the `size` bytes of the regular file open as fd (named path in messages) into a heap
// block, going on after interruptions; fails as readWholeFile does, a file that shrank or grew
// meanwhile included.
Result<FileImage> readWholeDescriptor(const std::string& path, int fd, std::uint64_t size);

}  // namespace tavmor
