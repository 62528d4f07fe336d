#include "support/images.hpp"

#include <algorithm>
#include <cstring>
#include <tuple>

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

std::string elfImage(std::uint64_t sectionSize, std::uint16_t machine, bool bigEndian) {
  std::string image(0x100 + sectionSize + 2 * 64, '\0');
  image.replace(0, 4,
                "\x7f"
                "ELF");
  image[4] = 2;                  // 64-bit
  image[5] = bigEndian ? 2 : 1;  // the byte order of every field below
  const auto put = [&](std::size_t offset, std::uint64_t value, int size) {
    putLe(image, offset, value, size);
    if (bigEndian) std::reverse(image.begin() + offset, image.begin() + offset + size);
  };
  put(16, 2, 2);  // e_type: ET_EXEC
  put(18, machine, 2);
  put(32, 64, 8);  // e_phoff: one program header after this one
  put(54, 56, 2);  // e_phentsize
  put(56, 1, 2);   // e_phnum
  put(64, 1, 4);   // PT_LOAD: the section's bytes
  put(64 + 8, 0x100, 8);
  put(64 + 32, sectionSize, 8);
  put(40, 0x100 + sectionSize, 8);  // e_shoff
  put(58, 64, 2);                   // e_shentsize
  put(60, 2, 2);                    // e_shnum: the null section and one more
  const std::size_t section = 0x100 + sectionSize + 64;
  put(section + 4, 1, 4);  // PROGBITS
  put(section + 24, 0x100, 8);
  put(section + 32, sectionSize, 8);
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

std::string sharedNameResourceImage(std::uint32_t types, std::uint32_t namesPerType,
                                    bool overlapping) {
  constexpr std::uint32_t kTable = 0x80000000;
  constexpr std::uint32_t kRva = 0x1000;
  constexpr std::size_t kHeaders = 0x400;
  constexpr std::uint32_t kLongest = 0xffff;
  const std::uint32_t names = 16 + 8 * types;
  const std::uint32_t languages = names + 16 + 8 * namesPerType;
  const std::uint32_t dataEntry = languages + 16 + 8;
  const std::uint32_t data = dataEntry + 16;
  const std::uint32_t text = data + 4;
  std::string tree(text + 2 + 2 * kLongest, 'A');
  std::fill(tree.begin(), tree.begin() + text, '\0');
  for (const auto& [table, count, target] :
       {std::tuple(0u, types, names), std::tuple(names, namesPerType, languages)}) {
    putLe(tree, table + 12, count, 2);  // named entries
    for (std::uint32_t i = 0; i < count; ++i) {
      putLe(tree, table + 16 + 8 * i, kTable | (text + (overlapping && table == 0 ? 2 * i : 0)), 4);
      putLe(tree, table + 20 + 8 * i, kTable | target, 4);
    }
  }
  putLe(tree, languages + 14, 1, 2);
  putLe(tree, languages + 16, 0x409, 4);
  putLe(tree, languages + 20, dataEntry, 4);
  putLe(tree, dataEntry, kRva + data, 4);
  putLe(tree, dataEntry + 4, 4, 4);
  putLe(tree, text, kLongest, 2);

  const std::uint32_t rawSize = static_cast<std::uint32_t>((tree.size() + 0x1ff) & ~0x1ffu);
  std::string image(kHeaders, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  putLe(image, 0x3c, 0x80, 4);
  image.replace(0x80, 4, std::string("PE\0\0", 4));
  const std::size_t coff = 0x84;
  putLe(image, coff, 0x8664, 2);
  putLe(image, coff + 2, 1, 2);
  putLe(image, coff + 16, 240, 2);
  const std::size_t opt = coff + 20;
  putLe(image, opt, 0x20b, 2);
  putLe(image, opt + 32, 0x1000, 4);                                  // SectionAlignment
  putLe(image, opt + 36, 0x200, 4);                                   // FileAlignment
  putLe(image, opt + 56, (kRva + tree.size() + 0xfff) & ~0xfffu, 4);  // SizeOfImage
  putLe(image, opt + 60, kHeaders, 4);
  putLe(image, opt + 108, 16, 4);
  putLe(image, opt + 112 + 2 * 8, kRva, 4);  // the resource directory
  putLe(image, opt + 112 + 2 * 8 + 4, tree.size(), 4);
  const std::size_t section = opt + 240;
  image.replace(section, 5, ".rsrc");
  putLe(image, section + 8, tree.size(), 4);
  putLe(image, section + 12, kRva, 4);
  putLe(image, section + 16, rawSize, 4);
  putLe(image, section + 20, kHeaders, 4);
  tree.resize(rawSize, '\0');
  return image + tree;
}

namespace {

std::uint32_t crc32(const std::string& bytes) {
  std::uint32_t crc = 0xffffffff;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int k = 0; k < 8; ++k) crc = crc >> 1 ^ (0xedb88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

std::string bigEndian32(std::uint32_t value) {
  std::string bytes(4, '\0');
  encodeBigEndian32(reinterpret_cast<unsigned char*>(bytes.data()), value);
  return bytes;
}

std::string pngChunk(const std::string& type, const std::string& data) {
  return bigEndian32(static_cast<std::uint32_t>(data.size())) + type + data +
         bigEndian32(crc32(type + data));
}

}  // namespace

std::string bitmapIconImage(std::uint32_t width, std::uint32_t height, std::uint16_t bitCount) {
  const std::size_t colors = bitCount <= 8 ? std::size_t{1} << bitCount : 0;
  const std::size_t rowBytes = (width * bitCount + 31) / 32 * 4;
  const std::size_t maskRowBytes = (width + 31) / 32 * 4;
  std::string image(40 + 4 * colors + (rowBytes + maskRowBytes) * height, '\0');
  putLe(image, 0, 40, 4);
  putLe(image, 4, width, 4);
  putLe(image, 8, 2 * height, 4);
  putLe(image, 12, 1, 2);
  putLe(image, 14, bitCount, 2);
  for (std::size_t i = 40 + 4 * colors; i < 40 + 4 * colors + rowBytes * height; ++i) {
    image[i] = static_cast<char>(i * 7);
  }
  return image;
}

std::string pngImage(std::uint32_t width, std::uint32_t height) {
  std::string header =
      bigEndian32(width) + bigEndian32(height) + std::string("\x01\x00\x00\x00\x00", 5);
  // Each row: filter 0 and the pixels, one bit each; one stored deflate block, when it fits.
  std::string rows;
  for (std::uint32_t y = 0; y < height; ++y) {
    rows += '\0';
    rows += std::string((width + 7) / 8, static_cast<char>(y % 2 ? 0xaa : 0x55));
  }
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (const char c : rows) {
    a = (a + static_cast<unsigned char>(c)) % 65521;
    b = (b + a) % 65521;
  }
  std::string zlib = "\x78\x01\x01";
  zlib += static_cast<char>(rows.size() & 0xff);
  zlib += static_cast<char>(rows.size() >> 8);
  zlib += static_cast<char>(~rows.size() & 0xff);
  zlib += static_cast<char>((~rows.size() >> 8) & 0xff);
  zlib += rows + bigEndian32(b << 16 | a);
  return std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", zlib) +
         pngChunk("IEND", "");
}

std::string iconFile(const std::vector<std::string>& images) {
  std::string file(6 + 16 * images.size(), '\0');
  putLe(file, 2, 1, 2);
  putLe(file, 4, images.size(), 2);
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::string& image = images[i];
    const auto* bytes = reinterpret_cast<const unsigned char*>(image.data());
    const bool png = image.compare(0, 4, "\x89PNG") == 0;
    const std::uint32_t width = png ? decodeBigEndian32(bytes + 16) : decodeFixed32(bytes + 4);
    const std::uint32_t height = png ? decodeBigEndian32(bytes + 20) : decodeFixed32(bytes + 8) / 2;
    const std::size_t entry = 6 + 16 * i;
    file[entry] = static_cast<char>(width & 0xff);  // 256 is written as 0
    file[entry + 1] = static_cast<char>(height & 0xff);
    putLe(file, entry + 4, 1, 2);
    putLe(file, entry + 6, png ? 32 : decodeFixed16(bytes + 14), 2);
    putLe(file, entry + 8, image.size(), 4);
    putLe(file, entry + 12, file.size(), 4);
    file += image;
  }
  return file;
}

}  // namespace tavmor::test
