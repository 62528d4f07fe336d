#pragma once
// Reading whole files, and which file a path names. Paths are UTF-8 text on every platform.

#include <cstdint>
#include <memory>
#include <string>

#include "util/status.hpp"

namespace tavmor {

// Gives back the bytes of a FileImage: a heap block is deleted, a mapping unmapped.
struct FileImageRelease {
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

// The open file a mapped image shows, kept open while the image lives so that imageIntact asks
// that very file, not whatever its name leads to by then, whether it changed.
struct MappedSource;
struct MappedSourceClose {
  void operator()(MappedSource* source) const;
};

// A whole file in one block: a heap block, or a read-only mapping of the file (mapWholeFile).
struct FileImage {
  std::unique_ptr<unsigned char[], FileImageRelease> bytes;
  std::uint64_t size = 0;
  std::unique_ptr<MappedSource, MappedSourceClose> source;  // for a mapping only
};

// Reads the regular file at `path` whole. Never blocks on a FIFO or device. A failure's code is
// kCannotOpen (missing, not a regular file, or a name that is not valid UTF-8), kNoPermission,
// kCannotRead (a read that failed, or a file that was written meanwhile) or kNoMemory, and its
// message is the one readFailure gives.
Result<FileImage> readWholeFile(const std::string& path);

// Like readWholeFile, but maps the file read-only where the platform allows, so that only the
// pages that are touched are read. A few mappings may live at a time; past them the file is read.
Result<FileImage> mapWholeFile(const std::string& path);

// Lets the pages of a mapped image that lie wholly in [start, start + size) go: they are read
// from the file again if touched. Does nothing for an image read whole.
void releasePages(const FileImage& image, const unsigned char* start, std::uint64_t size);

// Whether every byte of image is what the file held when it was opened. False once a page of a
// mapped image could not be read (the file shrank under the mapping, or the disk failed: such a
// page reads as zeros), or once the mapped file's size, modification or change time differs
// from what they were at its opening. Ask after the last look at the bytes.
bool imageIntact(const FileImage& image);

// How readWholeFile fails for path: "PATH: cannot open: REASON" (kCannotOpen, kNoPermission),
// "PATH: cannot read: REASON" (kCannotRead), "PATH: not enough memory to read it" (kNoMemory).
Status readFailure(Status::Code code, const std::string& path, const std::string& reason);

// Whether both paths name one existing file (through links, other spellings or hard links).
bool sameFile(const std::string& a, const std::string& b);

}  // namespace tavmor
