// The packer's round trip: encoding any script gives pairs that decode to it exactly, that hold
// no zero run, and that never spell the marker after the leading one; packed behind a stub, the
// launcher's own search and decoder give the script back.
//
// The first input byte picks how the rest becomes a script: as it is, or (odd) as pairs of a
// count and a byte, so that long runs, which the encoder splits, are easy to reach.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/check.hpp"
#include "payload/encode.hpp"
#include "payload/payload.hpp"
#include "support/images.hpp"
#include "support/payload_reference.hpp"
#include "tool/pack.hpp"

using namespace tavmor;

namespace {

std::string scriptFrom(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  if ((data[0] & 1) == 0) return std::string(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string script;
  for (std::size_t i = 1; i + 1 < size; i += 2) {
    script.append(data[i], static_cast<char>(data[i + 1]));
  }
  return script;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string script = scriptFrom(data, size);
  const auto* scriptBytes = reinterpret_cast<const unsigned char*>(script.data());
  const std::vector<unsigned char> pairs = encodeRunLength(scriptBytes, script.size());

  fuzz::check(pairs.size() % kPairSize == 0, "whole pairs");
  for (std::size_t i = 0; i < pairs.size(); i += kPairSize) {
    fuzz::check(pairs[i] != 0, "no zero runs");
  }
  fuzz::check(reference::decodePairs(pairs.data(), pairs.size()) == script,
              "the pairs decode to the script");

  std::string marked = kPayloadMarker;
  marked.append(pairs.begin(), pairs.end());
  const auto* markedBytes = reinterpret_cast<const unsigned char*>(marked.data());
  fuzz::check(reference::lastMarker(markedBytes, marked.size()) == 0,
              "the marker occurs only at the start of marker + pairs");

  const std::string stub = test::minimalElf();
  const Result<PackedFile> packed = buildLauncherFile(
      reinterpret_cast<const unsigned char*>(stub.data()), stub.size(), scriptBytes, script.size());
  fuzz::check(packed.ok(), "a script packs behind a stub");
  const auto span = findPayload(packed->bytes.data(), packed->bytes.size());
  fuzz::check(span.has_value() && span->markerOffset == stub.size(),
              "the launcher finds the packed marker");
  const auto decoded = decodeScript(packed->bytes.data(), *span);
  fuzz::check(decoded.ok() && decoded->length == script.size() &&
                  std::string(reinterpret_cast<const char*>(decoded->bytes.get()),
                              decoded->length) == script,
              "the launcher decodes the packed script");
  return 0;
}
