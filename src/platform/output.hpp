#pragma once
// The tool's outputs: files as what is at their names allows, and the standard streams.

#include <cstdint>
#include <string>

#include "platform/replace.hpp"
#include "util/status.hpp"

namespace tavmor {

// Writes `size` bytes to the output file at `path`, as what is there allows. A path that names
// a descriptor of the process (/dev/stdout, /dev/fd/N, /proc/self/fd/N), or a link that leads to
// one, is written through that descriptor, and refused when it is closed; a character device, a
// FIFO or a socket, or a link to one or to the file open as standard output, is written as it
// is. Neither is replaced, nor is `check` run. A block device, a directory and a link to one are
// refused. Anything else (nothing, a file, a link to a file or to nothing) is replaced as by
// replaceFileAtomically: a link is replaced, and what it pointed to stays as it was.
Status writeOutputFile(const std::string& path, const unsigned char* data, std::uint64_t size,
                       FileMode mode, const WriteCheck& check);

// Reads standard input whole, as bytes; fails with "cannot read standard input: REASON".
Result<std::string> readStandardInput();

// Writes bytes to standard output, unconverted; fails with "cannot write to standard output:
// REASON" when they could not all be written.
Status writeStandardOutput(const unsigned char* data, std::uint64_t size);

}  // namespace tavmor
