#include "exeformat/exeformat.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace tavmor {
namespace {

void put(std::string& image, std::size_t offset, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) image[offset + i] = static_cast<char>(value >> (8 * i));
}

// An ELF header with one section of `sectionSize` bytes at 0x100 and its table after it.
std::string elfImage(std::uint64_t sectionSize) {
  std::string image(0x100 + sectionSize + 2 * 64, '\0');
  image.replace(0, 4, "\x7f" "ELF");
  image[4] = 2;
  image[5] = 1;
  put(image, 18, kElfMachineX8664, 2);
  put(image, 40, 0x100 + sectionSize, 8);  // e_shoff
  put(image, 58, 64, 2);                   // e_shentsize
  put(image, 60, 2, 2);                    // e_shnum: the null section and one more
  const std::size_t section = 0x100 + sectionSize + 64;
  put(image, section + 4, 1, 4);  // PROGBITS
  put(image, section + 24, 0x100, 8);
  put(image, section + 32, sectionSize, 8);
  return image;
}

// A PE32+ image: headers, one section of 0x200 bytes at 0x200, and optionally a certificate
// table of certSize bytes at certOffset.
std::string peImage(std::uint32_t certOffset = 0, std::uint32_t certSize = 0) {
  std::string image(0x400, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  put(image, 0x3c, 0x80, 4);
  image.replace(0x80, 4, std::string("PE\0\0", 4));
  const std::size_t coff = 0x84;
  put(image, coff, kPeMachineAmd64, 2);
  put(image, coff + 2, 1, 2);
  put(image, coff + 16, 240, 2);
  const std::size_t opt = coff + 20;
  put(image, opt, 0x20b, 2);
  put(image, opt + 60, 0x200, 4);   // SizeOfHeaders
  put(image, opt + 108, 16, 4);     // NumberOfRvaAndSizes
  put(image, opt + 112 + 4 * 8, certOffset, 4);
  put(image, opt + 112 + 4 * 8 + 4, certSize, 4);
  const std::size_t section = opt + 240;
  put(image, section + 16, 0x200, 4);
  put(image, section + 20, 0x200, 4);
  return image;
}

ExecutableLayout describe(const std::string& image) {
  return describeExecutable(reinterpret_cast<const unsigned char*>(image.data()), image.size());
}

TEST(Executable, FindsWhereAnElfImageEnds) {
  const std::string image = elfImage(0x40);
  const auto layout = describe(image + "appended");
  EXPECT_EQ(layout.format, ExecutableFormat::kElf);
  EXPECT_EQ(layout.machine, kElfMachineX8664);
  EXPECT_EQ(layout.imageEnd, image.size());
  EXPECT_EQ(layout.appendedStart, image.size());
  EXPECT_EQ(layout.appendedEnd, image.size() + 8);
}

TEST(Executable, FindsWhereAPeImageEndsAndItsCertificate) {
  const std::string unsigned_ = peImage();
  auto layout = describe(unsigned_ + "tail");
  EXPECT_EQ(layout.format, ExecutableFormat::kPe);
  EXPECT_EQ(layout.machine, kPeMachineAmd64);
  EXPECT_TRUE(layout.is64Bit);
  EXPECT_EQ(layout.imageEnd, 0x400u);
  EXPECT_FALSE(layout.certificate);

  const std::string payload = "payload!";
  const std::string signedImage = peImage(0x400 + 8, 16) + payload + std::string(16, 'C');
  layout = describe(signedImage);
  ASSERT_TRUE(layout.certificate);
  EXPECT_EQ(layout.appendedStart, 0x400u);
  EXPECT_EQ(layout.appendedEnd, 0x408u);  // stops where the certificate table begins
}

TEST(Executable, LyingHeadersNeverReadOutsideTheFile) {
  // Truncations of valid images, and random corruption of their header bytes; run under the
  // sanitizers, any read past the end fails the test.
  std::mt19937 rng(7);
  for (const std::string& valid : {elfImage(0x40), peImage(0x400, 0x10) + std::string(16, 'C')}) {
    for (std::size_t length = 0; length <= valid.size(); ++length) {
      const std::string truncated = valid.substr(0, length);
      const auto layout = describe(truncated);
      EXPECT_LE(layout.appendedStart, layout.appendedEnd);
      EXPECT_LE(layout.appendedEnd, length);
    }
    for (int trial = 0; trial < 2000; ++trial) {
      std::string corrupt = valid;
      for (int flips = 0; flips < 4; ++flips) {
        corrupt[rng() % 0x180] = static_cast<char>(rng());
      }
      const auto layout = describe(corrupt);
      EXPECT_LE(layout.appendedStart, layout.appendedEnd);
      EXPECT_LE(layout.appendedEnd, corrupt.size());
    }
  }
}

TEST(Executable, CertificateOutsideTheFileIsIgnored) {
  const std::string image = peImage(0xfffffff0, 0x100) + "tail";
  const auto layout = describe(image);
  EXPECT_EQ(layout.appendedEnd, image.size());
}

}  // namespace
}  // namespace tavmor
