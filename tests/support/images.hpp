#pragma once
// Small synthetic executables for tests of code that reads ELF and PE layouts.

#include <cstdint>
#include <string>
#include <vector>

namespace tavmor::test {

// Stores value little-endian in bytes [offset, offset + size) of image; size is 2, 4 or 8.
void putLe(std::string& image, std::size_t offset, std::uint64_t value, int size);

// The smallest file the launcher's search reads as an ELF image: a 64-byte header, no tables.
std::string minimalElf();

// A 64-bit ELF executable (ET_EXEC) header with one section of `sectionSize` bytes at 0x100,
// loaded by the one program header, and the section table after it; for x86-64 unless told,
// every field in the byte order told.
std::string elfImage(std::uint64_t sectionSize, std::uint16_t machine = 62, bool bigEndian = false);

// An x86-64 PE32+ image of 0x400 bytes: headers and one section of 0x200 bytes at 0x200; its
// security directory entry (at kPeSecurityEntry) says certOffset and certSize.
std::string peImage(std::uint32_t certOffset = 0, std::uint32_t certSize = 0);
inline constexpr std::size_t kPeSecurityEntry = 0x84 + 20 + 112 + 4 * 8;

// An x86-64 PE32+ image whose one section holds a resource tree of `types` types, each with the
// same table of `namesPerType` names, each with the same one resource of four bytes; every type
// and name is the same string of 65535 characters, or, when `overlapping`, type i's name starts
// i characters into it (and is 0x4141 characters long, as the text is all 'A').
std::string sharedNameResourceImage(std::uint32_t types, std::uint32_t namesPerType,
                                    bool overlapping = false);

// An icon image as a bitmap: a BITMAPINFOHEADER, the colour table (up to 8 bits a pixel), the
// pixels and the mask.
std::string bitmapIconImage(std::uint32_t width, std::uint32_t height, std::uint16_t bitCount);

// A valid PNG file of width x height pixels (1-bit greyscale, stored without compression).
std::string pngImage(std::uint32_t width, std::uint32_t height);

// An .ico file of images (bitmaps or PNG files as above), laid out in order after the directory.
std::string iconFile(const std::vector<std::string>& images);

}  // namespace tavmor::test
