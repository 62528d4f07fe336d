#pragma once
// The launcher file format, shared by the launcher's reader and the packer's writer.
//
//   launcher file := launcher image, marker, payload
//   marker        := "##RUR##" (7 bytes)
//   payload       := pair* [odd trailing byte, ignored]
//   pair          := count (1 byte, 0..255), value (1 byte): `count` copies of `value`
//
// The payload runs to the end of the file (or, in a signed PE image, to the certificate table).
// Only a marker in the data appended after the executable image counts; the last one wins.

#include <cstddef>
#include <cstdint>

namespace tavmor {

inline constexpr char kPayloadMarker[] = "##RUR##";
inline constexpr std::size_t kPayloadMarkerSize = sizeof(kPayloadMarker) - 1;
inline constexpr std::size_t kPairSize = 2;
inline constexpr unsigned kMaxRunLength = 255;

}  // namespace tavmor
