#include "exeformat/exeformat.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "support/images.hpp"
#include "util/coding.hpp"

namespace tavmor {
namespace {

using test::elfImage;
using test::peImage;
using test::putLe;

const unsigned char* bytesOf(const std::string& image) {
  return reinterpret_cast<const unsigned char*>(image.data());
}

ExecutableLayout describe(const std::string& image) {
  return describeExecutable(bytesOf(image), image.size());
}

TEST(Executable, FindsWhereAnElfImageEnds) {
  const std::string image = elfImage(0x40);
  const auto layout = describe(image + "appended");
  EXPECT_EQ(layout.format, ExecutableFormat::kElf);
  EXPECT_EQ(layout.machine, kElfMachineX8664);
  EXPECT_EQ(layout.imageEnd, image.size());
  EXPECT_EQ(layout.appendedStart, image.size());
  EXPECT_EQ(layout.appendedEnd, image.size() + 8);
  EXPECT_EQ(layout.elfType, kElfTypeExecutable);
  EXPECT_FALSE(layout.elfInterpreter);
  // A program header that names an interpreter (PT_INTERP), and the entry point.
  std::string dynamic = image;
  putLe(dynamic, 16, kElfTypeShared, 2);
  putLe(dynamic, 24, 0x1040, 8);
  putLe(dynamic, 64, 3, 4);
  const auto pie = describe(dynamic);
  EXPECT_EQ(pie.elfType, kElfTypeShared);
  EXPECT_TRUE(pie.elfInterpreter);
  EXPECT_EQ(pie.elfEntry, 0x1040u);
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

TEST(Executable, ReadsEachKindOfHeaderAsItsFormatDefinesIt) {
  // elfImage(0x40): the header, one program header at 64 (PT_LOAD of the section's 0x40 bytes
  // at 0x100), the section, and a table of two section headers from 0x140 to 0x1c0.
  constexpr std::size_t kPh = 64;
  constexpr std::size_t kSection = 0x140 + 64;
  const auto elfWith = [](auto change) {
    std::string image = elfImage(0x40);
    change(image);
    return image;
  };
  struct Case {
    const char* name;
    std::string file;
    std::uint32_t machine;
    bool is64Bit;
    bool hasImage;
    std::uint64_t imageEnd;
  };
  const std::string pe32 = [] {
    std::string image = peImage();
    const std::size_t optional = 0x84 + 20;
    putLe(image, 0x84, 0x14c, 2);                   // x86
    putLe(image, optional, kPe32Magic, 2);          // PE32: data directories 16 bytes earlier
    putLe(image, optional + 92, 16, 4);             // NumberOfRvaAndSizes
    putLe(image, optional + 96 + 4 * 8, 0x408, 4);  // the security entry
    putLe(image, optional + 96 + 4 * 8 + 4, 8, 4);
    return image + "payload!" + std::string(8, 'C');
  }();
  const Case cases[] = {
      {"64-bit ELF", elfImage(0x40), kElfMachineX8664, true, true, 0x1c0},
      {"a segment that ends past the sections",
       elfWith([](std::string& i) { putLe(i, kPh + 32, 0x200, 8); }) + std::string(0x200, 'a'),
       kElfMachineX8664, true, true, 0x300},
      {"a loadable segment without bytes in the file",
       elfWith([](std::string& i) { putLe(i, kPh + 32, 0, 8); }), kElfMachineX8664, true, false,
       0x1c0},
      {"a segment of bytes that is not loaded",
       elfWith([](std::string& i) { putLe(i, kPh, 4, 4); }), kElfMachineX8664, true, false, 0x1c0},
      {"SHT_NOBITS takes no room in the file", elfWith([](std::string& i) {
         putLe(i, kSection + 4, 8, 4);
         putLe(i, kSection + 32, 0x100000, 8);
       }),
       kElfMachineX8664, true, true, 0x1c0},
      {"a section table at the top of the offset range",
       elfWith([](std::string& i) { putLe(i, 40, UINT64_MAX - 3, 8); }), kElfMachineX8664, true,
       true, UINT64_MAX},
      {"a program header table at the top of the offset range",
       elfWith([](std::string& i) { putLe(i, 32, UINT64_MAX - 7, 8); }), kElfMachineX8664, true,
       false, UINT64_MAX},
      {"32-bit ELF, read as all image", elfWith([](std::string& i) {
         i[4] = kElfClass32;
         putLe(i, 18, 3, 2);
       }),
       3, false, false, 0x1c0},
      {"big-endian ELF, every field read big-endian", elfImage(0x40, kElfMachineS390, true),
       kElfMachineS390, true, true, 0x1c0},
      {"ELF of an unknown byte order, read as all image", elfWith([](std::string& i) { i[5] = 3; }),
       kElfMachineX8664, true, false, 0x1c0},
      {"PE32", pe32, 0x14c, false, true, 0x400},
  };
  for (const Case& c : cases) {
    const auto layout = describe(c.file);
    EXPECT_EQ(layout.machine, c.machine) << c.name;
    EXPECT_EQ(layout.is64Bit, c.is64Bit) << c.name;
    EXPECT_EQ(layout.hasImage, c.hasImage) << c.name;
    EXPECT_EQ(layout.imageEnd, c.imageEnd) << c.name;
    EXPECT_LE(layout.appendedStart, c.file.size()) << c.name;
  }
  // A PE32 image keeps its data directories where PE32 puts them.
  const auto layout = describe(pe32);
  ASSERT_TRUE(layout.certificate);
  EXPECT_EQ(layout.certificate->offset, 0x408u);
  EXPECT_EQ(layout.appendedEnd, 0x408u);
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

// The headers are read as far as they lie in the file, for the layout; code that places a
// section or reads resources by them checks first that they are whole and sound.
TEST(PeHeaders, AreReadAsFarAsTheyGoAndCheckedBeforeUse) {
  constexpr std::size_t kCoff = 0x84;
  constexpr std::size_t kOptional = kCoff + 20;
  std::string sound = peImage();
  putLe(sound, kOptional + kSectionAlignment, 0x1000, 4);
  putLe(sound, kOptional + kFileAlignment, 0x200, 4);
  struct Case {
    const char* name;
    std::size_t offset;
    std::uint64_t value;
    int size;
    const char* why;  // nullptr: sound
  };
  const Case cases[] = {
      {"sound", 0, 0x5a4d, 2, nullptr},  // "MZ" as it is
      {"an unknown magic", kOptional, 0x10c, 2, "neither PE32 nor PE32+"},
      {"an optional header too short for its directory", kCoff + 16, 100, 2, "cut short"},
      {"an optional header past the end", kCoff + 16, 0xffff, 2, "cut short"},
      {"a file alignment of 3", kOptional + kFileAlignment, 3, 4, "alignments"},
      {"more sections than the file holds", kCoff + 2, 40, 2, "runs past the end of the file"},
  };
  for (const Case& c : cases) {
    std::string image = sound;
    putLe(image, c.offset, c.value, c.size);
    const auto layout = describe(image);
    ASSERT_TRUE(layout.pe) << c.name;
    EXPECT_EQ(layout.pe->magic, decodeFixed16(bytesOf(image) + kOptional)) << c.name;
    const Status checked = checkPeHeaders(*layout.pe, image.size());
    EXPECT_EQ(checked.ok(), c.why == nullptr) << c.name;
    EXPECT_NE(checked.message().find(c.why ? c.why : ""), std::string::npos) << checked.message();
  }
  EXPECT_EQ(describe(sound).pe->sections.size(), 1u);
  EXPECT_EQ(describe(sound).pe->directoryCount, 16u);
  // Headers cut before the optional header's magic: nothing to read them by.
  const auto cut = describe(sound.substr(0, kOptional + 1));
  EXPECT_EQ(cut.format, ExecutableFormat::kPe);
  EXPECT_FALSE(cut.pe);
  EXPECT_EQ(cut.imageEnd, UINT64_MAX);
}

TEST(Executable, CertificateOutsideTheFileIsIgnored) {
  const std::string image = peImage(0xfffffff0, 0x100) + "tail";
  const auto layout = describe(image);
  EXPECT_EQ(layout.appendedEnd, image.size());
}

}  // namespace
}  // namespace tavmor
