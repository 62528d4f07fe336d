#pragma once
// Bytes and numbers as lowercase hexadecimal digits.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tavmor {

inline constexpr char kHexDigits[] = "0123456789abcdef";

// Writes the 2 * size digits of the bytes at data to out. Builds no string: it works when memory
// has run out.
inline void encodeHex(const unsigned char* data, std::size_t size, char* out) {
  for (std::size_t i = 0; i < size; ++i) {
    out[2 * i] = kHexDigits[data[i] >> 4];
    out[2 * i + 1] = kHexDigits[data[i] & 15];
  }
}

// The digits of the bytes at data, two a byte.
std::string toHex(const unsigned char* data, std::size_t size);

template <std::size_t N>
std::string toHex(const std::array<unsigned char, N>& bytes) {
  return toHex(bytes.data(), N);
}

// value's digits, at least minDigits of them: hexNumber(0x14c, 4) is "014c".
std::string hexNumber(std::uint64_t value, std::size_t minDigits = 1);

}  // namespace tavmor
