#include "exeformat/exeformat.hpp"

#include <algorithm>
#include <cstring>

#include "util/coding.hpp"
#include "util/hex.hpp"

namespace tavmor {
namespace {

// Bounds-checked reads in the file's byte order (PE: little-endian; ELF: as its header says); a
// read outside the image yields nothing.
struct Reader {
  const unsigned char* data;
  std::uint64_t size;
  bool bigEndian = false;

  bool has(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size && length <= size - offset;
  }
  // The field of `bytes` bytes (2, 4 or 8) at offset.
  std::optional<std::uint64_t> read(std::uint64_t offset, unsigned bytes) const {
    if (!has(offset, bytes)) return std::nullopt;
    const unsigned char* field = data + offset;
    if (bytes == 2) return bigEndian ? decodeBigEndian16(field) : decodeFixed16(field);
    if (bytes == 4) return bigEndian ? decodeBigEndian32(field) : decodeFixed32(field);
    return bigEndian ? decodeBigEndian64(field) : decodeFixed64(field);
  }
  // The field at `offset` into the table entry at `entry`, which untrusted headers may have put
  // so near the top of the range that the sum overflows.
  std::optional<std::uint64_t> field(std::uint64_t entry, std::uint64_t offset,
                                     unsigned bytes) const;
};

// a + b * c, saturating: header fields are untrusted and may be chosen to overflow.
std::uint64_t extentEnd(std::uint64_t a, std::uint64_t b, std::uint64_t c = 1) {
  constexpr std::uint64_t kMax = UINT64_MAX;
  if (c != 0 && b > kMax / c) return kMax;
  const std::uint64_t product = b * c;
  return product > kMax - a ? kMax : a + product;
}

std::optional<std::uint64_t> Reader::field(std::uint64_t entry, std::uint64_t offset,
                                           unsigned bytes) const {
  return read(extentEnd(entry, offset), bytes);
}

void describeElf(Reader r, ExecutableLayout& layout) {
  constexpr std::uint64_t kSectionNoBits = 8;
  constexpr std::uint64_t kSegmentLoad = 1;
  constexpr std::uint64_t kSegmentInterpreter = 3;
  layout.elfClass = r.data[4];
  layout.elfByteOrder = r.data[5];
  layout.is64Bit = layout.elfClass == kElfClass64;
  // Every field is in the file's byte order; e_type and e_machine lie at the same offsets in both
  // classes.
  r.bigEndian = layout.elfByteOrder == kElfBigEndian;
  layout.elfType = static_cast<std::uint16_t>(r.read(16, 2).value_or(0));
  layout.machine = static_cast<std::uint32_t>(r.read(18, 2).value_or(0));
  if (!elfLayoutRead(layout)) {
    layout.imageEnd = r.size;  // not a layout this tool reads; treat it all as image
    return;
  }
  const std::uint64_t headerSize = 64;
  layout.elfEntry = r.read(24, 8).value_or(0);
  const std::uint64_t phOff = r.read(32, 8).value_or(0);
  const std::uint64_t shOff = r.read(40, 8).value_or(0);
  const std::uint64_t phEntSize = r.read(54, 2).value_or(0);
  const std::uint64_t phNum = r.read(56, 2).value_or(0);
  const std::uint64_t shEntSize = r.read(58, 2).value_or(0);
  const std::uint64_t shNum = r.read(60, 2).value_or(0);

  std::uint64_t end = headerSize;
  if (phNum != 0) end = std::max(end, extentEnd(phOff, phNum, phEntSize));
  if (shNum != 0) end = std::max(end, extentEnd(shOff, shNum, shEntSize));
  for (std::uint64_t i = 0; i < phNum && phEntSize >= 40; ++i) {
    const std::uint64_t entry = extentEnd(phOff, i, phEntSize);
    const auto type = r.field(entry, 0, 4);
    const auto offset = r.field(entry, 8, 8);
    const auto fileSize = r.field(entry, 32, 8);
    if (!type || !offset || !fileSize) break;
    if (*fileSize != 0) end = std::max(end, extentEnd(*offset, *fileSize));
    if (*type == kSegmentLoad && *fileSize != 0) layout.hasImage = true;
    if (*type == kSegmentInterpreter) layout.elfInterpreter = true;
  }
  for (std::uint64_t i = 0; i < shNum && shEntSize >= 40; ++i) {
    const std::uint64_t entry = extentEnd(shOff, i, shEntSize);
    const auto type = r.field(entry, 4, 4);
    const auto offset = r.field(entry, 24, 8);
    const auto sectionSize = r.field(entry, 32, 8);
    if (!type || !offset || !sectionSize) break;
    if (*type != kSectionNoBits && *sectionSize != 0) {
      end = std::max(end, extentEnd(*offset, *sectionSize));
    }
  }
  layout.imageEnd = end;
}

void describePe(const Reader& r, ExecutableLayout& layout) {
  constexpr std::uint64_t kSymbolSize = 18;
  layout.pe = readPeHeaders(r.data, r.size);
  if (!layout.pe) {
    layout.imageEnd = UINT64_MAX;  // headers run past the end of the file
    return;
  }
  const PeHeaders& h = *layout.pe;
  layout.machine = h.machine;
  layout.peMagic = h.magic;
  layout.is64Bit = h.magic == kPe32PlusMagic;

  std::uint64_t end = std::max<std::uint64_t>(h.sectionTable, h.sizeOfHeaders);
  end = std::max(end, extentEnd(h.sectionTable, h.sectionCount, kSectionHeaderSize));
  for (const PeSection& s : h.sections) {
    if (s.rawPointer != 0 && s.rawSize != 0) {
      end = std::max(end, std::uint64_t{s.rawPointer} + s.rawSize);
      layout.hasImage = true;
    }
  }
  if (h.symbolTable != 0) {
    // A COFF symbol table lies outside every section, followed by its string table, whose
    // first four bytes give its own length.
    const std::uint64_t strings = h.symbolTable + std::uint64_t{h.symbolCount} * kSymbolSize;
    end = std::max(end, extentEnd(strings, r.read(strings, 4).value_or(4)));
  }
  layout.imageEnd = end;

  if (const auto entry = dataDirectory(h, r.data, kSecurityDirectory)) {
    layout.certificateEntryOffset = h.directories + kSecurityDirectory * kDataDirectoryEntrySize;
    if (entry->rva != 0 || entry->size != 0) {
      layout.certificate = CertificateTable{entry->rva, entry->size};
    }
  }
}

}  // namespace

ExecutableLayout describeExecutable(const unsigned char* data, std::uint64_t size) {
  ExecutableLayout layout;
  const Reader r{data, size};
  if (r.has(0, 64) && std::memcmp(data,
                                  "\x7f"
                                  "ELF",
                                  4) == 0) {
    layout.format = ExecutableFormat::kElf;
    describeElf(r, layout);
  } else if (hasPeSignature(data, size)) {
    layout.format = ExecutableFormat::kPe;
    describePe(r, layout);
  }
  layout.appendedStart = std::min(layout.imageEnd, size);
  layout.appendedEnd = size;
  // A certificate table that sits after the image and runs to the end of the file is not part
  // of the appended data: signing adds it after the payload.
  if (layout.certificate && layout.certificate->offset >= layout.appendedStart &&
      layout.certificate->offset <= size &&
      layout.certificate->size == size - layout.certificate->offset) {
    layout.appendedEnd = layout.certificate->offset;
  }
  return layout;
}

bool elfLayoutRead(const ExecutableLayout& layout) {
  return layout.format == ExecutableFormat::kElf && layout.elfClass == kElfClass64 &&
         (layout.elfByteOrder == kElfLittleEndian || layout.elfByteOrder == kElfBigEndian);
}

const char* formatName(ExecutableFormat format) {
  switch (format) {
    case ExecutableFormat::kElf:
      return "ELF";
    case ExecutableFormat::kPe:
      return "PE";
    case ExecutableFormat::kUnknown:
      break;
  }
  return "unknown";
}

std::string machineName(ExecutableFormat format, std::uint32_t machine) {
  struct Name {
    ExecutableFormat format;
    std::uint32_t machine;
    const char* name;
  };
  constexpr Name kNames[] = {
      {ExecutableFormat::kElf, kElfMachineX8664, "x86-64"},
      {ExecutableFormat::kElf, 3, "x86"},
      {ExecutableFormat::kElf, kElfMachineAArch64, "AArch64"},
      {ExecutableFormat::kElf, 40, "ARM"},
      {ExecutableFormat::kElf, 8, "MIPS"},
      {ExecutableFormat::kElf, 20, "PowerPC"},
      {ExecutableFormat::kElf, 21, "PowerPC64"},
      {ExecutableFormat::kElf, kElfMachineS390, "S/390"},
      {ExecutableFormat::kElf, 43, "SPARC V9"},
      {ExecutableFormat::kElf, 243, "RISC-V"},
      {ExecutableFormat::kPe, kPeMachineAmd64, "x86-64"},
      {ExecutableFormat::kPe, 0x14c, "x86"},
      {ExecutableFormat::kPe, 0xaa64, "AArch64"},
      {ExecutableFormat::kPe, 0x1c4, "ARM"},
      {ExecutableFormat::kPe, 0x200, "Itanium"},
  };
  for (const auto& n : kNames) {
    if (n.format == format && n.machine == machine) return n.name;
  }
  return "unknown (0x" + hexNumber(machine, 4) + ")";
}

std::string certificateTypeName(std::uint16_t type) {
  switch (type) {
    case 1:
      return "X.509";
    case 2:
      return "PKCS #7 (Authenticode)";
    default:
      return "unknown (" + std::to_string(type) + ")";
  }
}

std::optional<CertificateEntry> readCertificateEntry(const unsigned char* data, std::uint64_t size,
                                                     const CertificateTable& table) {
  if (table.offset > size || table.size > size - table.offset ||
      table.size < kCertificateEntryHeaderSize) {
    return std::nullopt;
  }
  const unsigned char* header = data + table.offset;
  return CertificateEntry{decodeFixed32(header), decodeFixed16(header + 4),
                          decodeFixed16(header + 6)};
}

}  // namespace tavmor
