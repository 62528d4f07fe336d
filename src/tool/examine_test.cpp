#include "tool/examine.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "payload/encode.hpp"
#include "payload/format.hpp"
#include "support/images.hpp"
#include "util/coding.hpp"

namespace tavmor {
namespace {

using test::elfImage;
using test::peImage;
using test::putLe;

const unsigned char* bytes(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

LauncherFileReport examine(const std::string& file) {
  return examineLauncherFile(bytes(file), file.size());
}

std::string pairsFor(const std::string& script) {
  const auto pairs = encodeRunLength(bytes(script), script.size());
  return std::string(pairs.begin(), pairs.end());
}

// What signing makes of an unsigned file: zero bytes up to the next multiple of 8, then a
// certificate table of 16 bytes whose entry says PKCS #7, and the security entry pointing at it.
std::string signFile(std::string file) {
  file.append((8 - file.size() % 8) % 8, '\0');
  const std::size_t table = file.size();
  std::string certificate(16, 'S');
  putLe(certificate, 0, 16, 4);
  putLe(certificate, 4, 0x200, 2);
  putLe(certificate, 6, 2, 2);
  file += certificate;
  putLe(file, test::kPeSecurityEntry, table, 4);
  putLe(file, test::kPeSecurityEntry + 4, 16, 4);
  return file;
}

TEST(Examine, ReportsAWellFormedLauncherFile) {
  const std::string script = "say 'hello'\n";
  const std::string image = elfImage(0x40);
  const std::string file = image + kPayloadMarker + pairsFor(script);
  const auto report = examine(file);
  EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
  EXPECT_EQ(report.layout.format, ExecutableFormat::kElf);
  ASSERT_TRUE(report.payload);
  EXPECT_EQ(report.payload->markerOffset, image.size());
  EXPECT_EQ(report.markerCount, 1u);
  EXPECT_EQ(report.pairCount, 11u);  // "ll" is one run
  ASSERT_TRUE(report.script);
  EXPECT_EQ(report.script->length, script.size());
  EXPECT_EQ(report.script->sha256, sha256(bytes(script), script.size()));
  EXPECT_FALSE(report.certificate);
  // A position-independent executable without an interpreter (a static PIE) has an entry point.
  std::string staticPie = file;
  putLe(staticPie, 16, kElfTypeShared, 2);
  putLe(staticPie, 24, 0x1040, 8);
  EXPECT_TRUE(examine(staticPie).warnings.empty()) << examine(staticPie).warnings.front();
  // The launchers for AArch64 and S/390, whose headers are big-endian, carry the same payload.
  for (const auto& [machine, bigEndian] :
       {std::pair{kElfMachineAArch64, false}, std::pair{kElfMachineS390, true}}) {
    const std::string other = elfImage(0x40, static_cast<std::uint16_t>(machine), bigEndian);
    const auto otherReport = examine(other + kPayloadMarker + pairsFor(script));
    EXPECT_TRUE(otherReport.warnings.empty()) << machine << ": " << otherReport.warnings.front();
    ASSERT_TRUE(otherReport.payload) << machine;
    EXPECT_EQ(otherReport.payload->markerOffset, other.size()) << machine;
    EXPECT_EQ(otherReport.layout.machine, machine);
  }
}

TEST(Examine, WarnsAboutEachWayAFileDiffersFromWhatTavmorWrites) {
  const std::string elf = elfImage(0x40);
  const std::string marker = kPayloadMarker;
  const std::string pairs = pairsFor("say 1\n");
  std::string lyingElf = elf;
  putLe(lyingElf, 40, 0x10000, 8);  // a section table past the end of the file
  std::string badEntry = signFile(peImage() + marker + pairs);
  putLe(badEntry, badEntry.size() - 16, 17, 4);  // the entry claims more than the table holds
  // Executables the launcher could never be: other classes, byte orders, machines, formats.
  const auto elfWith = [&](char elfClass, char byteOrder, std::uint16_t machine) {
    std::string image = elfImage(0x40, machine, byteOrder == 2);
    image[4] = elfClass;
    image[5] = byteOrder;
    return image + marker + pairs;
  };
  const auto peWith = [&](std::uint16_t magic, std::uint16_t machine) {
    std::string image = peImage();
    putLe(image, 0x84, machine, 2);
    putLe(image, 0x84 + 20, magic, 2);
    return image + marker + pairs;
  };
  // ELF files the system does not run as programs, whatever else they hold.
  const auto elfOfType = [&](std::uint16_t type) {
    std::string image = elf;
    putLe(image, 16, type, 2);
    return image + marker + pairs;
  };
  std::string headerOnly = elf.substr(0, 64);  // no program or section headers
  for (const std::size_t field : {32, 40}) putLe(headerOnly, field, 0, 8);
  for (const std::size_t field : {56, 60}) putLe(headerOnly, field, 0, 2);
  struct Case {
    const char* name;
    std::string file;
    const char* warning;
    std::size_t warnings = 1;
  };
  const Case cases[] = {
      {"nothing appended", elf, "no script"},
      {"no marker", elf + "appended, but no marker", "no script"},
      {"marker only inside the image", elf.substr(0, 0x100) + marker + elf.substr(0x107),
       "no script"},
      {"not an executable", "text " + marker + pairs, "not an ELF or PE"},
      {"odd trailing byte", elf + marker + pairs + "\x05", "odd byte"},
      {"zero counts", elf + marker + std::string("\x00x", 2) + pairs, "1 pair has a zero count"},
      {"two markers", elf + marker + pairs + marker + pairs, "2 markers"},
      {"lying headers", lyingElf + marker + pairs, "more data than the file", 2},  // and no script
      // These hold no script for the launcher either, as it reads none but 64-bit ELF files.
      {"32-bit ELF", elfWith(1, 1, 62), "a 32-bit ELF file", 2},
      {"ELF of class 0", elfWith(0, 1, 62), "class 0", 2},
      {"ELF of byte order 3", elfWith(2, 3, 62), "byte order 3", 2},
      // A launcher is built for each of these machines, in one byte order.
      {"big-endian ELF for x86-64", elfWith(2, 2, 62),
       "big-endian ELF file; the launcher for x86-64 is little-endian"},
      {"little-endian ELF for S/390", elfWith(2, 1, 22),
       "little-endian ELF file; the launcher for S/390 is big-endian"},
      {"ELF for PowerPC64", elfWith(2, 2, 21),
       "built for PowerPC64; the Linux launcher is built for"},
      {"header-only ELF", headerOnly + marker + pairs, "no executable image", 1},
      {"ELF of no type", elfOfType(0), "an ELF file of no type (ET_NONE), not an executable"},
      {"relocatable ELF", elfOfType(1), "an ELF relocatable object (ET_REL), not an executable"},
      {"ELF core dump", elfOfType(4), "an ELF core dump (ET_CORE), not an executable"},
      {"shared library", elfOfType(3),
       "an ELF shared object (ET_DYN, no interpreter, no entry point), not an executable"},
      {"PE32", peWith(0x10b, 0x14c), "a PE32 file", 2},  // and built for x86
      {"unknown optional-header magic", peWith(0x107, 0x8664), "magic 0x107", 1},
      {"PE for AArch64", peWith(0x20b, 0xaa64), "built for AArch64; the Windows launcher", 1},
      {"certificate outside the file", peImage(0xfffffff0, 0x100) + marker + pairs,
       "lies outside the file"},
      {"certificate before the end", peImage(0x400 + 7, 4) + marker + pairs + "tail",
       "does not run to the end"},
      {"certificate inside the image", peImage(0x10, 0x400 - 0x10 + 7 + 12) + marker + pairs,
       "begins inside the executable image"},
      {"malformed certificate entry", badEntry, "does not fit"},
  };
  for (const auto& c : cases) {
    const auto report = examine(c.file);
    ASSERT_EQ(report.warnings.size(), c.warnings) << c.name;
    EXPECT_NE(report.warnings[0].find(c.warning), std::string::npos)
        << c.name << ": " << report.warnings[0];
  }
}

TEST(Examine, SetsASignedFilesCertificateTableAndPaddingApart) {
  // Scripts whose payloads need each amount of padding, 0 to 7 bytes, including payloads that
  // end in a zero value byte, which is no padding.
  for (std::size_t length = 1; length <= 16; ++length) {
    for (const char last : {'\n', '\0'}) {
      std::string script;
      for (std::size_t i = 0; i + 1 < length; ++i) script += static_cast<char>('a' + i);
      script += last;
      const std::string unsignedFile = peImage() + kPayloadMarker + pairsFor(script);
      const std::string file = signFile(unsignedFile);
      const auto report = examine(file);
      EXPECT_TRUE(report.warnings.empty()) << length << ": " << report.warnings.front();
      EXPECT_EQ(report.signingPadding, file.size() - 16 - unsignedFile.size()) << length;
      EXPECT_EQ(report.pairCount, length) << length;
      ASSERT_TRUE(report.script) << length;
      EXPECT_EQ(report.script->sha256, sha256(bytes(script), script.size())) << length;
      ASSERT_TRUE(report.certificate);
      EXPECT_TRUE(report.certificate->setApart);
      EXPECT_EQ(report.certificate->type, 2);
      EXPECT_EQ(report.certificate->revision, 0x200);
    }
  }
}

TEST(Examine, HostileFilesGetWarningsAndNeverAnOutOfRangeRead) {
  // Every truncation and random corruption of an ELF launcher file of each byte order and a
  // signed PE one; run under the sanitizers, any read outside the file fails the test.
  const std::string pairs = pairsFor("say 'truncate me'\n");
  const std::string elf = elfImage(0x40) + kPayloadMarker + pairs;
  const std::string bigEndianElf = elfImage(0x40, kElfMachineS390, true) + kPayloadMarker + pairs;
  const std::string signedPe = signFile(peImage() + kPayloadMarker + pairs);
  std::mt19937 rng(99);
  for (const std::string* file : {&elf, &bigEndianElf, &signedPe}) {
    const std::string& valid = *file;
    const bool isSigned = file == &signedPe;
    const std::uint64_t markerOffset = examine(valid).payload.value().markerOffset;
    for (std::size_t length = 0; length < valid.size(); ++length) {
      const auto report = examine(valid.substr(0, length));
      // Only a cut between two pairs of an unsigned file leaves a file that looks whole.
      const bool betweenPairs = !isSigned && length >= markerOffset + kPayloadMarkerSize &&
                                (length - markerOffset - kPayloadMarkerSize) % 2 == 0;
      EXPECT_EQ(report.warnings.empty(), betweenPairs) << length;
      if (report.payload) {
        EXPECT_LE(report.payload->payloadStart, report.payload->payloadEnd);
        EXPECT_LE(report.payload->payloadEnd, length);
      }
      if (length >= markerOffset && length < markerOffset + kPayloadMarkerSize) {
        EXPECT_FALSE(report.payload) << length;
      }
    }
    for (int trial = 0; trial < 3000; ++trial) {
      std::string corrupt = valid;
      for (int flips = 0; flips < 3; ++flips) {
        corrupt[rng() % corrupt.size()] = static_cast<char>(rng());
      }
      const auto report = examine(corrupt);
      if (report.payload) {
        EXPECT_LE(report.payload->payloadEnd, corrupt.size());
      }
    }
  }
}

}  // namespace
}  // namespace tavmor
