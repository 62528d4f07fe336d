#include "payload/payload.hpp"

#include <cstring>
#include <new>

#include "exeformat/exeformat.hpp"
#include "payload/format.hpp"

namespace tavmor {

std::optional<std::uint64_t> findLastMarker(const unsigned char* data, std::uint64_t size,
                                            const char* marker) {
  const std::size_t markerSize = std::strlen(marker);
  if (markerSize == 0 || size < markerSize) return std::nullopt;
  const auto first = static_cast<unsigned char>(marker[0]);
  for (std::uint64_t i = size - markerSize + 1; i-- > 0;) {
    if (data[i] == first && std::memcmp(data + i, marker, markerSize) == 0) return i;
  }
  return std::nullopt;
}

std::uint64_t decodeRunLength(const unsigned char* src, std::uint64_t srcLen, unsigned char* dst,
                              std::uint64_t capacity) {
  if (srcLen < kPairSize) return 0;
  std::uint64_t total = 0;
  const std::uint64_t pairs = srcLen / kPairSize;
  for (std::uint64_t p = 0; p < pairs; ++p) {
    const unsigned count = src[p * kPairSize];
    const unsigned char value = src[p * kPairSize + 1];
    if (count > capacity - total) return total;
    std::memset(dst + total, value, count);
    total += count;
  }
  return total;
}

std::uint64_t decodedLength(const unsigned char* src, std::uint64_t srcLen) {
  std::uint64_t total = 0;
  for (std::uint64_t i = 0; i + 1 < srcLen; i += kPairSize) total += src[i];
  return total;
}

std::optional<PayloadSpan> findPayload(const unsigned char* image, std::uint64_t size) {
  const ExecutableLayout layout = describeExecutable(image, size);
  const std::uint64_t appendedStart = layout.appendedStart;
  const std::uint64_t appendedEnd = layout.appendedEnd;
  if (appendedEnd <= appendedStart) return std::nullopt;
  const auto marker =
      findLastMarker(image + appendedStart, appendedEnd - appendedStart, kPayloadMarker);
  if (!marker) return std::nullopt;
  PayloadSpan span;
  span.markerOffset = appendedStart + *marker;
  span.payloadStart = span.markerOffset + kPayloadMarkerSize;
  span.payloadEnd = appendedEnd;
  return span;
}

std::optional<DecodedScript> decodeScript(const unsigned char* image, const PayloadSpan& span) {
  const unsigned char* payload = image + span.payloadStart;
  const std::uint64_t payloadLength = span.payloadEnd - span.payloadStart;
  DecodedScript script;
  script.capacity = decodedLength(payload, payloadLength);
  if (script.capacity >= SIZE_MAX) return std::nullopt;
  script.bytes.reset(new (std::nothrow) unsigned char[static_cast<std::size_t>(script.capacity) + 1]);
  if (!script.bytes) return std::nullopt;
  script.length = decodeRunLength(payload, payloadLength, script.bytes.get(), script.capacity);
  script.bytes[script.length] = 0;
  return script;
}

}  // namespace tavmor
