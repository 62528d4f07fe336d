#include "payload/encode.hpp"

#include <cstring>

#include "payload/format.hpp"

namespace tavmor {
namespace {

// Whether the marker ends somewhere in the last `newBytes` bytes of marker + out.
bool markerEndsInTail(const std::vector<unsigned char>& out, std::size_t newBytes) {
  // Context is the marker itself followed by the output.
  const std::size_t total = kPayloadMarkerSize + out.size();
  auto byteAt = [&](std::size_t i) -> unsigned char {
    return i < kPayloadMarkerSize ? static_cast<unsigned char>(kPayloadMarker[i])
                                  : out[i - kPayloadMarkerSize];
  };
  for (std::size_t end = total - newBytes + 1; end <= total; ++end) {
    if (end < kPayloadMarkerSize + 1) continue;  // the leading marker itself
    const std::size_t start = end - kPayloadMarkerSize;
    bool match = true;
    for (std::size_t k = 0; k < kPayloadMarkerSize && match; ++k) {
      match = byteAt(start + k) == static_cast<unsigned char>(kPayloadMarker[k]);
    }
    if (match) return true;
  }
  return false;
}

}  // namespace

std::vector<unsigned char> encodeRunLength(const unsigned char* data, std::uint64_t size) {
  std::vector<unsigned char> out;
  out.reserve(static_cast<std::size_t>(size / 64 * 2 + 64));
  std::uint64_t i = 0;
  while (i < size) {
    const unsigned char value = data[i];
    std::uint64_t run = 1;
    while (i + run < size && data[i + run] == value && run < kMaxRunLength) ++run;
    auto count = static_cast<unsigned char>(run);
    out.push_back(count);
    out.push_back(value);
    // Any marker occurrence ending in this pair covers its count byte, so the count is '#', 'R'
    // or 'U' (35, 82, 85); one less is none of these and ends no marker. The byte left over
    // starts the next pair.
    if (markerEndsInTail(out, kPairSize)) out[out.size() - 2] = --count;
    i += count;
  }
  return out;
}

}  // namespace tavmor
