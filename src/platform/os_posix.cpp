#include "platform/os_posix.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/read_sized.hpp"

namespace tavmor {

std::string systemError() { return std::strerror(errno); }

FdCloser::~FdCloser() {
  if (fd >= 0) ::close(fd);
}

Status writeAll(int fd, const unsigned char* data, std::uint64_t size) {
  while (size > 0) {
    const std::size_t chunk = size > (1u << 30) ? (1u << 30) : static_cast<std::size_t>(size);
    const ssize_t written = ::write(fd, data, chunk);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const std::string reason = written == 0 ? std::strerror(ENOSPC) : systemError();
      return Status::failure(Status::Code::kCannotWrite, reason, reason);
    }
    data += written;
    size -= static_cast<std::uint64_t>(written);
  }
  return Status::success();
}

Result<FileImage> readWholeDescriptor(const std::string& path, int fd, std::uint64_t size) {
  const auto readSome = [fd](unsigned char* into, std::uint64_t want) {
    ssize_t got = 0;
    do {
      got = ::read(fd, into, want);
    } while (got < 0 && errno == EINTR);
    return got < 0 ? std::nullopt : std::optional(static_cast<std::uint64_t>(got));
  };
  return readSizedFile(path, size, readSome, systemError);
}

}  // namespace tavmor
