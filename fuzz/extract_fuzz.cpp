// The launcher's extraction from an arbitrary file image: the search for the payload behind
// the executable image and its decoding, checked against the plain reference versions.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "exeformat/exeformat.hpp"
#include "fuzz/check.hpp"
#include "payload/payload.hpp"
#include "support/payload_reference.hpp"

using namespace tavmor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::check(findLastMarker(data, size) == reference::lastMarker(data, size),
              "findLastMarker finds the last marker");

  const auto span = findPayload(data, size);
  const ExecutableLayout layout = describeExecutable(data, size);
  fuzz::check(layout.appendedStart <= layout.appendedEnd && layout.appendedEnd <= size,
              "the appended data is a range inside the file");
  if (!span) {
    fuzz::check(!reference::lastMarker(data + layout.appendedStart,
                                       layout.appendedEnd - layout.appendedStart),
                "no payload only without a marker in the appended data");
    return 0;
  }
  fuzz::check(span->markerOffset >= layout.appendedStart, "the marker lies after the image");
  fuzz::check(span->payloadStart == span->markerOffset + kPayloadMarkerSize &&
                  span->payloadStart <= span->payloadEnd && span->payloadEnd <= size,
              "the payload lies inside the file, behind the marker");
  fuzz::check(std::memcmp(data + span->markerOffset, kPayloadMarker, kPayloadMarkerSize) == 0,
              "the marker is there");
  fuzz::check(!reference::lastMarker(data + span->markerOffset + 1,
                                     layout.appendedEnd - span->markerOffset - 1),
              "no marker starts after the one found");

  const auto script = decodeScript(data, *span);
  fuzz::check(script.ok(), "a small payload decodes");
  const std::uint64_t payloadSize = span->payloadEnd - span->payloadStart;
  const std::string expected = reference::decodePairs(data + span->payloadStart, payloadSize);
  fuzz::check(script->length == expected.size() && script->length <= script->capacity,
              "the script has the length its pairs describe");
  fuzz::check(std::memcmp(script->bytes.get(), expected.data(), expected.size()) == 0,
              "the script is what its pairs describe");
  fuzz::check(script->bytes[script->length] == 0, "a zero byte follows the script");

  // The decoder under a tighter capacity, taken from the input, writes no byte past it and stops
  // before the first run that does not fit.
  if (expected.empty()) return 0;
  const std::uint64_t capacity = data[size - 1] * expected.size() / 256;
  std::string limited(capacity + 16, '\xa5');
  auto* out = reinterpret_cast<unsigned char*>(limited.data());
  const std::uint64_t written =
      decodeRunLength(data + span->payloadStart, payloadSize, out, capacity);
  const std::string expectedLimited =
      reference::decodePairs(data + span->payloadStart, payloadSize, capacity);
  fuzz::check(
      written == expectedLimited.size() && limited.compare(0, written, expectedLimited) == 0,
      "a capacity-bound decode gives the runs that fit");
  fuzz::check(limited.find_first_not_of('\xa5', capacity) == std::string::npos,
              "nothing is written past the capacity");
  return 0;
}
