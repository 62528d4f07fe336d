#include "payload/payload.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "exeformat/exeformat.hpp"
#include "payload/format.hpp"
#include "platform/memory.hpp"

namespace tavmor {
namespace {

Status noMemoryToDecode() {
  return Status::failure(Status::Code::kNoMemory, "not enough memory to decode the script");
}

constexpr std::size_t kSearchBlock = 128;
// How much of the data a search or a decoder gets through before it says so.
constexpr std::uint64_t kDoneStep = 4u << 20;

// Whether some offset in [0, kSearchBlock) of block has `first` there and `probed` at `probe`
// bytes on. Reads kSearchBlock + probe bytes. Branch-free, so that the compiler vectorises it.
bool mayHoldMarker(const unsigned char* block, unsigned char first, unsigned char probed,
                   std::size_t probe) {
  unsigned char hits = 0;
  for (std::size_t j = 0; j < kSearchBlock; ++j) {
    hits |= static_cast<unsigned char>((block[j] == first) & (block[j + probe] == probed));
  }
  return hits != 0;
}

constexpr std::uint64_t kPairsPerGroup = 8;
constexpr std::uint64_t kGroupSize = kPairsPerGroup * kPairSize;
constexpr std::uint64_t kEveryByte = 0x0101010101010101u;
constexpr std::uint64_t kLowBytes = 0x00FF00FF00FF00FFu;  // the low byte of each 16-bit lane
// Where the count bytes of four pairs lie in a word loaded from them.
constexpr unsigned kCountShift = std::endian::native == std::endian::little ? 0 : 8;

// Writes `count` copies of value at dst, and not a byte more: short runs as a few overlapping
// word stores, since a call to memset per pair costs more than the run itself.
void fillRun(unsigned char* dst, unsigned char value, unsigned count) {
  if (count > 32) {
    std::memset(dst, value, count);
    return;
  }
  const std::uint64_t word = value * kEveryByte;
  if (count >= 8) {
    for (unsigned k = 0; k + 8 < count; k += 8) std::memcpy(dst + k, &word, 8);
    std::memcpy(dst + count - 8, &word, 8);
  } else if (count >= 4) {
    std::memcpy(dst, &word, 4);
    std::memcpy(dst + count - 4, &word, 4);
  } else if (count >= 2) {
    std::memcpy(dst, &word, 2);
    std::memcpy(dst + count - 2, &word, 2);
  } else if (count == 1) {
    dst[0] = value;
  }
}

// The value bytes of four pairs held in a little-endian word, packed into its low four bytes.
std::uint64_t packValues(std::uint64_t pairs) {
  std::uint64_t values = (pairs >> 8) & kLowBytes;
  values = (values | values >> 8) & 0x0000FFFF0000FFFFu;
  return (values | values >> 16) & 0x00000000FFFFFFFFu;
}

// The number of bytes that the kPairsPerGroup pairs at src expand to.
std::uint64_t groupLength(const unsigned char* src) {
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  std::memcpy(&low, src, 8);
  std::memcpy(&high, src + 8, 8);
  // Eight counts in four 16-bit lanes, at most 510 each; their sum fits the top lane.
  const std::uint64_t lanes =
      ((low >> kCountShift) & kLowBytes) + ((high >> kCountShift) & kLowBytes);
  return (lanes * 0x0001000100010001u) >> 48;
}

// When the kPairsPerGroup pairs at src are all runs of one, writes their values at dst and
// returns true; otherwise writes nothing.
bool expandSingleRuns(const unsigned char* src, unsigned char* dst) {
  if constexpr (std::endian::native != std::endian::little) return false;
  constexpr std::uint64_t kOnes = 0x0001000100010001u;
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  std::memcpy(&low, src, 8);
  std::memcpy(&high, src + 8, 8);
  if ((low & kLowBytes) != kOnes || (high & kLowBytes) != kOnes) return false;
  const std::uint64_t values = packValues(low) | packValues(high) << 32;
  std::memcpy(dst, &values, 8);
  return true;
}

// Sixteen bytes, and eight 16-bit lanes, in one vector register (SSE2 on x86-64, NEON on ARM).
using Bytes16 = unsigned char __attribute__((vector_size(16)));
using Lanes8 = std::uint16_t __attribute__((vector_size(16)));
constexpr std::uint64_t kPairsPerVector = 16;

// When the kPairsPerVector pairs at src are all runs of one, writes their values at dst and
// returns true; otherwise writes nothing. Twice the pairs of expandSingleRuns, at a third of its
// instructions per byte.
bool expandSingleRunsByVector(const unsigned char* src, unsigned char* dst) {
  if constexpr (std::endian::native != std::endian::little) return false;
  Lanes8 first;
  Lanes8 second;
  std::memcpy(&first, src, 16);
  std::memcpy(&second, src + 16, 16);
  const auto ones = ((first & 0xff) == 1) & ((second & 0xff) == 1);
  std::uint64_t halves[2];
  std::memcpy(halves, &ones, 16);
  if ((halves[0] & halves[1]) != ~std::uint64_t{0}) return false;
  Bytes16 low;
  Bytes16 high;
  std::memcpy(&low, src, 16);
  std::memcpy(&high, src + 16, 16);
  const Bytes16 values =
      __builtin_shufflevector(low, high, 1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
  std::memcpy(dst, &values, 16);
  return true;
}

}  // namespace

std::optional<std::uint64_t> findLastMarker(const unsigned char* data, std::uint64_t size,
                                            const DoneWith& doneWith) {
  constexpr std::size_t markerSize = kPayloadMarkerSize;
  if (size < markerSize) return std::nullopt;
  const auto* pattern = reinterpret_cast<const unsigned char*>(kPayloadMarker);
  const std::size_t probe = markerSize / 2;
  auto matchesAt = [&](std::uint64_t i) {
    return data[i] == pattern[0] && std::memcmp(data + i, pattern, markerSize) == 0;
  };
  // Offsets [0, end) can start a match. Whole blocks are ruled out from the end backwards
  // first: a block where no offset has both the marker's first and middle byte holds none.
  std::uint64_t end = size - markerSize + 1;
  std::uint64_t doneFrom = size;  // what lies from here on is searched
  while (end >= kSearchBlock) {
    const std::uint64_t start = end - kSearchBlock;
    if (doneWith && doneFrom - start >= kDoneStep) {
      doneWith(data + start + markerSize, doneFrom - start - markerSize);
      doneFrom = start + markerSize;
    }
    if (mayHoldMarker(data + start, pattern[0], pattern[probe], probe)) {
      for (std::uint64_t i = end; i-- > start;) {
        if (matchesAt(i)) return i;
      }
    }
    end = start;
  }
  for (std::uint64_t i = end; i-- > 0;) {
    if (matchesAt(i)) return i;
  }
  return std::nullopt;
}

std::uint64_t decodeRunLength(const unsigned char* src, std::uint64_t srcLen, unsigned char* dst,
                              std::uint64_t capacity) {
  if (srcLen < kPairSize) return 0;
  const std::uint64_t pairs = srcLen / kPairSize;
  std::uint64_t total = 0;
  std::uint64_t p = 0;
  while (pairs - p >= 2 * kPairsPerGroup) {
    const unsigned char* group = src + p * kPairSize;
    // Text is mostly runs of one: sixteen, or eight, such pairs at a time.
    if (capacity - total >= kPairsPerVector && expandSingleRunsByVector(group, dst + total)) {
      total += kPairsPerVector;
      p += kPairsPerVector;
      continue;
    }
    if (capacity - total >= kPairsPerGroup && expandSingleRuns(group, dst + total)) {
      total += kPairsPerGroup;
      p += kPairsPerGroup;
      continue;
    }
    // When this group and the next fit whole, a short run may store a whole word: the bytes
    // past its end belong to later runs of the two groups, which overwrite them in turn.
    const std::uint64_t ahead = groupLength(group) + groupLength(group + kGroupSize);
    if (ahead > capacity - total) break;
    const std::uint64_t bound = total + ahead;
    for (std::uint64_t end = p + kPairsPerGroup; p < end; ++p) {
      const unsigned count = src[p * kPairSize];
      const unsigned char value = src[p * kPairSize + 1];
      if (count <= 8 && bound - total >= 8) {
        const std::uint64_t word = value * kEveryByte;
        std::memcpy(dst + total, &word, 8);
      } else {
        fillRun(dst + total, value, count);
      }
      total += count;
    }
  }
  // The last pairs, and those near the capacity: each run checked, and written exactly.
  for (; p < pairs; ++p) {
    const unsigned count = src[p * kPairSize];
    const unsigned char value = src[p * kPairSize + 1];
    if (count > capacity - total) return total;
    fillRun(dst + total, value, count);
    total += count;
  }
  return total;
}

std::uint64_t decodedLength(const unsigned char* src, std::uint64_t srcLen) {
  const std::uint64_t pairs = srcLen / kPairSize;
  std::uint64_t total = 0;
  std::uint64_t p = 0;
  // The counts of four pairs at a time, added up in the 16-bit lanes of a word; a batch stops
  // before a lane can overflow.
  constexpr std::uint64_t kWordsPerBatch = 256;
  constexpr std::uint64_t kPairsPerWord = 8 / kPairSize;
  while (pairs - p >= kWordsPerBatch * kPairsPerWord) {
    std::uint64_t lanes = 0;
    for (std::uint64_t w = 0; w < kWordsPerBatch; ++w) {
      std::uint64_t word = 0;
      std::memcpy(&word, src + (p + w * kPairsPerWord) * kPairSize, 8);
      lanes += (word >> kCountShift) & kLowBytes;
    }
    lanes = (lanes & 0x0000FFFF0000FFFFu) + (lanes >> 16 & 0x0000FFFF0000FFFFu);
    total += (lanes & 0xFFFFFFFFu) + (lanes >> 32);
    p += kWordsPerBatch * kPairsPerWord;
  }
  for (; p < pairs; ++p) total += src[p * kPairSize];
  return total;
}

std::optional<PayloadSpan> findPayload(const unsigned char* image, std::uint64_t size,
                                       const DoneWith& doneWith) {
  return findPayload(image, describeExecutable(image, size), doneWith);
}

std::optional<PayloadSpan> findPayload(const unsigned char* image, const ExecutableLayout& layout,
                                       const DoneWith& doneWith) {
  const std::uint64_t appendedStart = layout.appendedStart;
  const std::uint64_t appendedEnd = layout.appendedEnd;
  if (appendedEnd <= appendedStart) return std::nullopt;
  const auto marker = findLastMarker(image + appendedStart, appendedEnd - appendedStart, doneWith);
  if (!marker) return std::nullopt;
  PayloadSpan span;
  span.markerOffset = appendedStart + *marker;
  span.payloadStart = span.markerOffset + kPayloadMarkerSize;
  span.payloadEnd = appendedEnd;
  return span;
}

Result<DecodedScript> decodeScript(const unsigned char* image, const PayloadSpan& span) {
  const unsigned char* payload = image + span.payloadStart;
  const std::uint64_t payloadLength = span.payloadEnd - span.payloadStart;
  DecodedScript script;
  script.capacity = decodedLength(payload, payloadLength);
  const Status noMemory = noMemoryToDecode();
  if (script.capacity >= SIZE_MAX) return noMemory;
  script.bytes.reset(
      new (std::nothrow) unsigned char[static_cast<std::size_t>(script.capacity) + 1]);
  if (!script.bytes) return noMemory;
  preferLargePages(script.bytes.get(), static_cast<std::size_t>(script.capacity) + 1);
  script.length = decodeRunLength(payload, payloadLength, script.bytes.get(), script.capacity);
  script.bytes[script.length] = 0;
  return script;
}

Status decodeInPieces(const unsigned char* image, const PayloadSpan& span, std::size_t blockSize,
                      const std::function<bool(const unsigned char*, std::uint64_t)>& write,
                      const DoneWith& doneWith) {
  // A step's pairs expand to at most 255 bytes each: the block always has room for a whole step
  // before it is written out, and is written out in pieces of at least half its size.
  blockSize = std::max(blockSize, std::size_t{2 * 255});
  const std::uint64_t pairsPerStep = blockSize / 2 / 255;
  std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[blockSize]);
  if (!block) return noMemoryToDecode();
  const unsigned char* payload = image + span.payloadStart;
  const std::uint64_t pairBytes = (span.payloadEnd - span.payloadStart) / kPairSize * kPairSize;
  std::uint64_t read = 0;
  std::uint64_t doneUpTo = 0;
  std::uint64_t filled = 0;
  while (read < pairBytes) {
    const std::uint64_t step = std::min(pairBytes - read, pairsPerStep * kPairSize);
    filled += decodeRunLength(payload + read, step, block.get() + filled, blockSize - filled);
    read += step;
    if (blockSize - filled < pairsPerStep * 255) {
      if (!write(block.get(), filled)) return Status::success();
      filled = 0;
    }
    if (doneWith && read - doneUpTo >= kDoneStep) {
      doneWith(payload + doneUpTo, read - doneUpTo);
      doneUpTo = read;
    }
  }
  if (filled > 0) write(block.get(), filled);
  return Status::success();
}

}  // namespace tavmor
