#pragma once
// Finding and decoding the script appended to a launcher file.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "exeformat/exeformat.hpp"
#include "util/status.hpp"

namespace tavmor {

// The decoded script: `length` bytes followed by a zero byte, in a block of capacity + 1 bytes.
struct DecodedScript {
  std::unique_ptr<unsigned char[]> bytes;
  std::uint64_t capacity = 0;
  std::uint64_t length = 0;
};

// Where the payload of a launcher file lies: [payloadStart, payloadEnd), behind the marker at
// markerOffset.
struct PayloadSpan {
  std::uint64_t markerOffset = 0;
  std::uint64_t payloadStart = 0;
  std::uint64_t payloadEnd = 0;
};

// Told of each stretch of the data that a search or a decoder is done with, so that a caller
// holding a mapped file can let those pages go.
using DoneWith = std::function<void(const unsigned char* start, std::uint64_t size)>;

// Returns the offset of the marker (kPayloadMarker) nearest the end of [data, data + size), or
// nothing.
std::optional<std::uint64_t> findLastMarker(const unsigned char* data, std::uint64_t size,
                                            const DoneWith& doneWith = {});

// Expands the run-length pairs in src into dst, stopping before the first run that would take the
// output past `capacity`. Returns the number of bytes written.
std::uint64_t decodeRunLength(const unsigned char* src, std::uint64_t srcLen, unsigned char* dst,
                              std::uint64_t capacity);

// The number of bytes the pairs in src expand to: the sum of their run lengths.
std::uint64_t decodedLength(const unsigned char* src, std::uint64_t srcLen);

// Locates the payload of a launcher file image: the last marker in the data appended after the
// executable image (for a signed PE image, in front of its certificate table). Nothing when
// the appended data holds no marker.
std::optional<PayloadSpan> findPayload(const unsigned char* image, std::uint64_t size,
                                       const DoneWith& doneWith = {});
// The same, for an image whose headers are described already (describeExecutable).
std::optional<PayloadSpan> findPayload(const unsigned char* image, const ExecutableLayout& layout,
                                       const DoneWith& doneWith = {});

// Decodes the payload at `span` in `image` piece by piece, through one block of `blockSize`
// bytes (at least 64 KiB), handing each piece to `write` in order; stops when `write` returns
// false. Tells doneWith of the payload behind it. Fails with kNoMemory when no block could be
// allocated.
Status decodeInPieces(const unsigned char* image, const PayloadSpan& span, std::size_t blockSize,
                      const std::function<bool(const unsigned char*, std::uint64_t)>& write,
                      const DoneWith& doneWith = {});

// Decodes the payload at `span` in `image` into a block sized for its decoded length. Fails with
// kNoMemory when that block cannot be allocated.
Result<DecodedScript> decodeScript(const unsigned char* image, const PayloadSpan& span);

}  // namespace tavmor
