#include "payload/encode.hpp"

#include <array>
#include <bit>
#include <cstring>

#include "payload/format.hpp"

namespace tavmor {
namespace {

constexpr std::array<bool, 256> kIsMarkerByte = [] {
  std::array<bool, 256> table{};
  for (std::size_t i = 0; i < kPayloadMarkerSize; ++i) {
    table[static_cast<unsigned char>(kPayloadMarker[i])] = true;
  }
  return table;
}();

// Whether the marker ends somewhere in the last `newBytes` bytes of marker + out[0, used).
bool markerEndsInTail(const unsigned char* out, std::size_t used, std::size_t newBytes) {
  // Context is the marker itself followed by the output.
  const std::size_t total = kPayloadMarkerSize + used;
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

// A run of one never needs splitting: its count byte ends no marker.
static_assert(!kIsMarkerByte[1]);

// Four bytes, from the low half of a little-endian word, as the pairs (1, byte).
std::uint64_t singleRunPairs(std::uint64_t bytes) {
  std::uint64_t pairs = bytes & 0xFFFFFFFFu;
  pairs = (pairs | pairs << 16) & 0x0000FFFF0000FFFFu;
  pairs = (pairs | pairs << 8) & 0x00FF00FF00FF00FFu;
  return pairs << 8 | 0x0001000100010001u;
}

// When each of the eight bytes at data differs from the byte after it (data[8] is read), they
// are eight runs of one: writes their pairs at out and returns true. Otherwise writes nothing.
bool encodeSingleRuns(const unsigned char* data, unsigned char* out) {
  if constexpr (std::endian::native != std::endian::little) return false;
  std::uint64_t bytes = 0;
  std::uint64_t next = 0;
  std::memcpy(&bytes, data, 8);
  std::memcpy(&next, data + 1, 8);
  const std::uint64_t same = bytes ^ next;  // a zero byte where a run goes on
  if (((same - 0x0101010101010101u) & ~same & 0x8080808080808080u) != 0) return false;
  const std::uint64_t low = singleRunPairs(bytes);
  const std::uint64_t high = singleRunPairs(bytes >> 32);
  std::memcpy(out, &low, 8);
  std::memcpy(out + 8, &high, 8);
  return true;
}

}  // namespace

std::vector<unsigned char> encodeRunLength(const unsigned char* data, std::uint64_t size) {
  // Every pair covers at least one byte of data, so two bytes per byte always suffice; reserving
  // them spares the copies of a growing vector, and pages the pairs never reach stay untouched.
  std::vector<unsigned char> out;
  out.reserve(static_cast<std::size_t>(size) * kPairSize);
  std::uint64_t i = 0;
  while (i < size) {
    // Text is mostly runs of one: eight such bytes at a time.
    unsigned char pairs[8 * kPairSize];
    if (size - i > 8 && encodeSingleRuns(data + i, pairs)) {
      out.insert(out.end(), pairs, pairs + sizeof pairs);
      i += 8;
      continue;
    }
    const unsigned char value = data[i];
    const std::uint64_t longest = size - i < kMaxRunLength ? size - i : kMaxRunLength;
    std::uint64_t run = 1;
    while (run < longest && data[i + run] == value) ++run;
    auto count = static_cast<unsigned char>(run);
    out.push_back(count);
    out.push_back(value);
    // Any marker occurrence ending in this pair covers its count byte, so the count is one of
    // the marker's bytes ('#', 'R' or 'U'); one less is none of these and ends no marker. The
    // byte left over starts the next pair.
    if (kIsMarkerByte[count] && markerEndsInTail(out.data(), out.size(), kPairSize)) {
      out[out.size() - kPairSize] = --count;
    }
    i += count;
  }
  if (out.size() < out.capacity() / 2) out.shrink_to_fit();
  return out;
}

}  // namespace tavmor
