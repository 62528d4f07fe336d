#include "util/hex.hpp"

namespace tavmor {
std::string toHex(const unsigned char* data, std::size_t size) {
  std::string hex(2 * size, '0');
  encodeHex(data, size, hex.data());
  return hex;
}

std::string hexNumber(std::uint64_t value, std::size_t minDigits) {
  std::string digits;
  while (value != 0 || digits.size() < minDigits) {
    digits.insert(digits.begin(), kHexDigits[value & 15]);
    value >>= 4;
  }
  return digits;
}

}  // namespace tavmor
