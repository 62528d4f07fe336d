#include "support/images.hpp"

#include "util/coding.hpp"

namespace tavmor::test {

void putLe(std::string& image, std::size_t offset, std::uint64_t value, int size) {
  auto* field = reinterpret_cast<unsigned char*>(image.data() + offset);
  if (size == 2) {
    encodeFixed16(field, static_cast<std::uint16_t>(value));
  } else if (size == 4) {
    encodeFixed32(field, static_cast<std::uint32_t>(value));
  } else {
    encodeFixed64(field, value);
  }
}

std::string minimalElf() {
  std::string elf(64, '\0');
  elf.replace(0, 4,
              "\x7f"
              "ELF");
  elf[4] = 2;  // 64-bit
  elf[5] = 1;  // little-endian
  return elf;
}

std::string elfImage(std::uint64_t sectionSize) {
  constexpr std::uint64_t kMachineX8664 = 62;
  std::string image(0x100 + sectionSize + 2 * 64, '\0');
  image.replace(0, 4,
                "\x7f"
                "ELF");
  image[4] = 2;            // 64-bit
  image[5] = 1;            // little-endian
  putLe(image, 16, 2, 2);  // e_type: ET_EXEC
  putLe(image, 18, kMachineX8664, 2);
  putLe(image, 32, 64, 8);  // e_phoff: one program header after this one
  putLe(image, 54, 56, 2);  // e_phentsize
  putLe(image, 56, 1, 2);   // e_phnum
  putLe(image, 64, 1, 4);   // PT_LOAD: the section's bytes
  putLe(image, 64 + 8, 0x100, 8);
  putLe(image, 64 + 32, sectionSize, 8);
  putLe(image, 40, 0x100 + sectionSize, 8);  // e_shoff
  putLe(image, 58, 64, 2);                   // e_shentsize
  putLe(image, 60, 2, 2);                    // e_shnum: the null section and one more
  const std::size_t section = 0x100 + sectionSize + 64;
  putLe(image, section + 4, 1, 4);  // PROGBITS
  putLe(image, section + 24, 0x100, 8);
  putLe(image, section + 32, sectionSize, 8);
  return image;
}

std::string peImage(std::uint32_t certOffset, std::uint32_t certSize) {
  constexpr std::uint64_t kMachineAmd64 = 0x8664;
  std::string image(0x400, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  putLe(image, 0x3c, 0x80, 4);
  image.replace(0x80, 4, std::string("PE\0\0", 4));
  const std::size_t coff = 0x84;
  putLe(image, coff, kMachineAmd64, 2);
  putLe(image, coff + 2, 1, 2);     // one section
  putLe(image, coff + 16, 240, 2);  // SizeOfOptionalHeader
  const std::size_t opt = coff + 20;
  putLe(image, opt, 0x20b, 2);       // PE32+
  putLe(image, opt + 60, 0x200, 4);  // SizeOfHeaders
  putLe(image, opt + 108, 16, 4);    // NumberOfRvaAndSizes
  putLe(image, kPeSecurityEntry, certOffset, 4);
  putLe(image, kPeSecurityEntry + 4, certSize, 4);
  const std::size_t section = opt + 240;
  putLe(image, section + 16, 0x200, 4);  // SizeOfRawData
  putLe(image, section + 20, 0x200, 4);  // PointerToRawData
  return image;
}

}  // namespace tavmor::test
