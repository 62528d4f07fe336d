#pragma once
// Plain reference versions of the marker search and the decoder, written from the file format
// alone: the unit tests and the fuzzers hold the fast versions to them.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "payload/format.hpp"

namespace tavmor::reference {

// The offset of the last marker in [data, data + size), comparing at every offset.
inline std::optional<std::uint64_t> lastMarker(const unsigned char* data, std::uint64_t size) {
  std::optional<std::uint64_t> found;
  for (std::uint64_t i = 0; i + kPayloadMarkerSize <= size; ++i) {
    if (std::memcmp(data + i, kPayloadMarker, kPayloadMarkerSize) == 0) found = i;
  }
  return found;
}

// Every pair's run, in order, up to the first run that would take the script past capacity; an
// odd last byte is ignored.
inline std::string decodePairs(const unsigned char* pairs, std::uint64_t size,
                               std::uint64_t capacity = UINT64_MAX) {
  std::string script;
  for (std::uint64_t i = 0; i + 1 < size; i += kPairSize) {
    if (pairs[i] > capacity - script.size()) break;
    script.append(pairs[i], static_cast<char>(pairs[i + 1]));
  }
  return script;
}

}  // namespace tavmor::reference
