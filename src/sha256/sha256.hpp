#pragma once
// SHA-256 (FIPS 180-4), for reporting the digest of a script.

#include <array>
#include <cstdint>

namespace tavmor {

using Sha256Digest = std::array<unsigned char, 32>;

Sha256Digest sha256(const unsigned char* data, std::uint64_t size);

}  // namespace tavmor
