#include "util/hex.hpp"

namespace tavmor {
namespace {

constexpr char kDigits[] = "0123456789abcdef";

}  // namespace

void encodeHex(const unsigned char* data, std::size_t size, char* out) {
  for (std::size_t i = 0; i < size; ++i) {
    out[2 * i] = kDigits[data[i] >> 4];
    out[2 * i + 1] = kDigits[data[i] & 15];
  }
}

std::string toHex(const unsigned char* data, std::size_t size) {
  std::string hex(2 * size, '0');
  encodeHex(data, size, hex.data());
  return hex;
}

std::string hexNumber(std::uint64_t value, std::size_t minDigits) {
  std::string digits;
  while (value != 0 || digits.size() < minDigits) {
    digits.insert(digits.begin(), kDigits[value & 15]);
    value >>= 4;
  }
  return digits;
}

}  // namespace tavmor
