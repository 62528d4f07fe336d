#pragma once
// The whole-file read that readWholeFile shares on every platform.

#include <cstdint>
#include <new>
#include <optional>
#include <string>

#include "platform/file.hpp"
#include "platform/memory.hpp"

namespace tavmor {

// Reads the file at path, `size` bytes as its size was taken, into a heap block through
// readSome(into, want), which reads at most `want` bytes and gives how many (0 at the end), or
// nothing when it fails, and then systemReason() says why. One byte more than `size` is asked
// for, so that a file that grew meanwhile is noticed as surely as one that shrank.
template <typename ReadSome, typename SystemReason>
Result<FileImage> readSizedFile(const std::string& path, std::uint64_t size, ReadSome readSome,
                                SystemReason systemReason) {
  if (size >= SIZE_MAX) return readFailure(Status::Code::kNoMemory, path, {});
  FileImage image;
  image.bytes.reset(new (std::nothrow) unsigned char[static_cast<std::size_t>(size) + 1]);
  if (!image.bytes) return readFailure(Status::Code::kNoMemory, path, {});
  preferLargePages(image.bytes.get(), static_cast<std::size_t>(size) + 1);
  constexpr std::uint64_t kMostAtOnce = 1u << 30;
  std::uint64_t done = 0;
  while (done <= size) {
    const std::uint64_t want = size + 1 - done;
    const std::optional<std::uint64_t> got =
        readSome(image.bytes.get() + done, want < kMostAtOnce ? want : kMostAtOnce);
    if (!got) return readFailure(Status::Code::kCannotRead, path, systemReason());
    if (*got == 0) break;
    done += *got;
  }
  if (done != size) {
    return readFailure(
        Status::Code::kCannotRead, path,
        done < size ? "the file shrank while it was read" : "the file grew while it was read");
  }
  image.size = size;
  return image;
}

}  // namespace tavmor
