#pragma once
// The packer's side of the launcher file format.

#include <cstdint>
#include <vector>

namespace tavmor {

// Run-length encodes [data, data + size) into pairs: runs of at most 255, no zero counts. Runs
// are split where needed so that the marker followed by the returned pairs holds no occurrence
// of the marker other than the leading one.
std::vector<unsigned char> encodeRunLength(const unsigned char* data, std::uint64_t size);

}  // namespace tavmor
