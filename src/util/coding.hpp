#pragma once
// Fixed-width integers as bytes: little-endian, as ELF and PE store them, and big-endian, as
// SHA-256 and big-endian ELF files do. The only place that shifts bytes into numbers and back.

#include <cstddef>
#include <cstdint>

namespace tavmor {
namespace coding {

template <typename T>
T decodeLittleEndian(const unsigned char* p) {
  T value = 0;
  for (std::size_t i = sizeof(T); i-- > 0;) value = static_cast<T>(value << 8 | p[i]);
  return value;
}

template <typename T>
T decodeBigEndian(const unsigned char* p) {
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) value = static_cast<T>(value << 8 | p[i]);
  return value;
}

template <typename T>
void encodeLittleEndian(unsigned char* dst, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) dst[i] = static_cast<unsigned char>(value >> (8 * i));
}

template <typename T>
void encodeBigEndian(unsigned char* dst, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    dst[i] = static_cast<unsigned char>(value >> (8 * (sizeof(T) - 1 - i)));
  }
}

}  // namespace coding

// Read from, or write to, the bytes at p: 2, 4 or 8 of them.
inline std::uint16_t decodeFixed16(const unsigned char* p) {
  return coding::decodeLittleEndian<std::uint16_t>(p);
}
inline std::uint32_t decodeFixed32(const unsigned char* p) {
  return coding::decodeLittleEndian<std::uint32_t>(p);
}
inline std::uint64_t decodeFixed64(const unsigned char* p) {
  return coding::decodeLittleEndian<std::uint64_t>(p);
}
inline void encodeFixed16(unsigned char* p, std::uint16_t value) {
  coding::encodeLittleEndian(p, value);
}
inline void encodeFixed32(unsigned char* p, std::uint32_t value) {
  coding::encodeLittleEndian(p, value);
}
inline void encodeFixed64(unsigned char* p, std::uint64_t value) {
  coding::encodeLittleEndian(p, value);
}

inline std::uint16_t decodeBigEndian16(const unsigned char* p) {
  return coding::decodeBigEndian<std::uint16_t>(p);
}
inline std::uint32_t decodeBigEndian32(const unsigned char* p) {
  return coding::decodeBigEndian<std::uint32_t>(p);
}
inline std::uint64_t decodeBigEndian64(const unsigned char* p) {
  return coding::decodeBigEndian<std::uint64_t>(p);
}
inline void encodeBigEndian16(unsigned char* p, std::uint16_t value) {
  coding::encodeBigEndian(p, value);
}
inline void encodeBigEndian32(unsigned char* p, std::uint32_t value) {
  coding::encodeBigEndian(p, value);
}
inline void encodeBigEndian64(unsigned char* p, std::uint64_t value) {
  coding::encodeBigEndian(p, value);
}

}  // namespace tavmor
