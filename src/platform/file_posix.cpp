#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <new>

#include "platform/file.hpp"
#include "platform/mapping_guard.hpp"
#include "platform/os_posix.hpp"

namespace tavmor {
namespace {

// A regular file open for reading, and what it looked like when it was opened.
struct OpenFile {
  FdCloser fd;
  std::uint64_t size = 0;
  struct stat opened {};
};

// Whether the open file at fd is still as `opened` shows it. A write changes the modification
// time; one that puts that time back (utimensat, for the file's owner) changes the change time,
// which no one can set. Adding or removing a link changes the change time too, and a launcher
// replaced by a rename or removed while it starts still reads whole: the change time counts only
// while the link count stays. A write within one tick of the file system's clock after the
// opening shows in neither time. Without `byChangeTime` only the modification time counts: a
// file that another run moves aside in one exchange keeps its links a moment with a new change
// time, and a staged script or a stub read whole is as good then as before.
bool unchanged(int fd, const struct stat& opened, bool byChangeTime = true) {
  struct stat now {};
  const auto same = [](const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
  };
  return ::fstat(fd, &now) == 0 && now.st_dev == opened.st_dev && now.st_ino == opened.st_ino &&
         now.st_size == opened.st_size && same(now.st_mtim, opened.st_mtim) &&
         (!byChangeTime || now.st_nlink != opened.st_nlink || same(now.st_ctim, opened.st_ctim));
}

// Opens the regular file at path for readWholeFile and mapWholeFile.
Status openRegularFile(const std::string& path, OpenFile& file) {
  // O_NONBLOCK keeps a FIFO from stalling the open; anything but a regular file is refused.
  file.fd.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (file.fd.fd < 0) {
    return readFailure(
        errno == EACCES || errno == EPERM ? Status::Code::kNoPermission : Status::Code::kCannotOpen,
        path, systemError());
  }
  struct stat st {};
  if (::fstat(file.fd.fd, &st) != 0) {
    return readFailure(Status::Code::kCannotRead, path, systemError());
  }
  if (!S_ISREG(st.st_mode)) {
    return readFailure(Status::Code::kCannotOpen, path,
                       S_ISDIR(st.st_mode) ? "is a directory" : "not a regular file");
  }
  file.size = static_cast<std::uint64_t>(st.st_size);
  file.opened = st;
  return Status::success();
}

// Reads the file open as `file` whole; byChangeTime as for unchanged.
Result<FileImage> readOpenFile(const std::string& path, const OpenFile& file, bool byChangeTime) {
  Result<FileImage> image = readWholeDescriptor(path, file.fd.fd, file.size);
  if (image.ok() && !unchanged(file.fd.fd, file.opened, byChangeTime)) {
    return readFailure(Status::Code::kCannotRead, path, "the file was written while it was read");
  }
  return image;
}

}  // namespace

struct MappedSource {
  int fd;
  struct stat opened;
};

void MappedSourceClose::operator()(MappedSource* source) const {
  ::close(source->fd);
  delete source;
}

Result<FileImage> readWholeFile(const std::string& path) {
  OpenFile file;
  if (Status opened = openRegularFile(path, file); !opened.ok()) return opened;
  return readOpenFile(path, file, false);
}

Result<FileImage> mapWholeFile(const std::string& path) {
  OpenFile file;
  if (Status opened = openRegularFile(path, file); !opened.ok()) return opened;
  const std::uint64_t size = file.size;
  void* start = size == 0 || size >= SIZE_MAX ? MAP_FAILED  // an empty file has no mapping
                                              : ::mmap(nullptr, static_cast<std::size_t>(size),
                                                       PROT_READ, MAP_PRIVATE, file.fd.fd, 0);
  if (start != MAP_FAILED && !guardMapping(start, size)) {
    ::munmap(start, static_cast<std::size_t>(size));
    start = MAP_FAILED;
  }
  if (start == MAP_FAILED) return readOpenFile(path, file, true);
  FileImageRelease release;
  release.unmap = unmapGuarded;
  release.mappedSize = size;
  FileImage image;
  image.bytes = std::unique_ptr<unsigned char[], FileImageRelease>(
      static_cast<unsigned char*>(start), release);
  image.size = size;
  image.source.reset(new (std::nothrow) MappedSource{file.fd.fd, file.opened});
  if (!image.source) return readFailure(Status::Code::kNoMemory, path, {});
  file.fd.fd = -1;
  return image;
}

void releasePages(const FileImage& image, const unsigned char* start, std::uint64_t size) {
  if (image.bytes.get_deleter().unmap == nullptr) return;  // a heap block: its bytes would go
  const std::uint64_t page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  const auto from = (reinterpret_cast<std::uintptr_t>(start) + page - 1) & ~(page - 1);
  const auto to = (reinterpret_cast<std::uintptr_t>(start) + size) & ~(page - 1);
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

bool imageIntact(const FileImage& image) {
  return !mappingDamaged(image.bytes.get()) &&
         (!image.source || unchanged(image.source->fd, image.source->opened));
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace tavmor
