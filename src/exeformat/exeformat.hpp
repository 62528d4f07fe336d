#pragma once
// Just enough of the ELF and PE formats to tell where an executable image ends and what
// follows it.

#include <cstdint>
#include <optional>
#include <string>

#include "exeformat/pe_headers.hpp"

namespace tavmor {

enum class ExecutableFormat { kUnknown, kElf, kPe };

struct CertificateTable {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

struct ExecutableLayout {
  ExecutableFormat format = ExecutableFormat::kUnknown;
  std::uint32_t machine = 0;  // e_machine for ELF (in the file's byte order), COFF Machine for PE
  bool is64Bit = false;       // ELFCLASS64, or PE32+
  // What the headers say as they say it: for ELF, EI_CLASS (1: 32-bit, 2: 64-bit) and EI_DATA
  // (1: little-endian, 2: big-endian); for PE, the optional header's magic (0x10b: PE32,
  // 0x20b: PE32+). Other values are no format any loader runs.
  std::uint8_t elfClass = 0;
  std::uint8_t elfByteOrder = 0;
  std::uint16_t peMagic = 0;
  // ELF: e_type (ET_EXEC, ET_DYN, ...), and for 64-bit files whether a segment
  // names an interpreter (PT_INTERP) and the entry point (e_entry).
  std::uint16_t elfType = 0;
  bool elfInterpreter = false;
  std::uint64_t elfEntry = 0;
  // Whether the headers describe anything to load: a loadable ELF segment with bytes in the
  // file, a PE section with raw data. Read for 64-bit ELF (see elfLayoutRead) and for PE only.
  bool hasImage = false;
  // Where the image ends as its headers describe it; past the file's end when they lie.
  std::uint64_t imageEnd = 0;
  // The appended data: [appendedStart, appendedEnd). For an unknown format it is the whole file;
  // for a signed PE image it stops where the certificate table begins.
  std::uint64_t appendedStart = 0;
  std::uint64_t appendedEnd = 0;
  // The security entry of a PE image's data directory, when it is not empty.
  std::optional<CertificateTable> certificate;
  // The file offset of that entry, so that a packer can clear it.
  std::optional<std::uint64_t> certificateEntryOffset;
  // A PE file's headers, read once here for whoever needs more of them; nothing for other
  // formats, or when they lie outside the file.
  std::optional<PeHeaders> pe;
};

inline constexpr std::uint32_t kElfMachineX8664 = 62;
inline constexpr std::uint32_t kElfMachineAArch64 = 183;
inline constexpr std::uint32_t kElfMachineS390 = 22;
inline constexpr std::uint8_t kElfClass32 = 1;
inline constexpr std::uint8_t kElfClass64 = 2;
inline constexpr std::uint8_t kElfLittleEndian = 1;
inline constexpr std::uint8_t kElfBigEndian = 2;
inline constexpr std::uint16_t kElfTypeNone = 0;
inline constexpr std::uint16_t kElfTypeRelocatable = 1;
inline constexpr std::uint16_t kElfTypeExecutable = 2;
inline constexpr std::uint16_t kElfTypeShared = 3;
inline constexpr std::uint16_t kElfTypeCore = 4;

// Describes the file image [data, data + size). Never reads outside it, whatever its headers say.
ExecutableLayout describeExecutable(const unsigned char* data, std::uint64_t size);

// Whether the layout of an ELF file's image was read: for 64-bit files of either byte order. Of
// others only the machine and type are known, and the whole file counts as image.
bool elfLayoutRead(const ExecutableLayout& layout);

// "ELF", "PE" or "unknown".
const char* formatName(ExecutableFormat format);

// "x86-64", "x86", "AArch64", ... or "unknown (0x...)".
std::string machineName(ExecutableFormat format, std::uint32_t machine);

// The header of the first entry of a PE certificate table (WIN_CERTIFICATE).
struct CertificateEntry {
  std::uint32_t length = 0;  // dwLength, the header included
  std::uint16_t revision = 0;
  std::uint16_t type = 0;  // wCertificateType
};
inline constexpr std::uint64_t kCertificateEntryHeaderSize = 8;

// The first entry's header of `table` in the file image [data, data + size); nothing when the
// table lies outside the image or is too small to hold one.
std::optional<CertificateEntry> readCertificateEntry(const unsigned char* data, std::uint64_t size,
                                                     const CertificateTable& table);

// "PKCS #7 (Authenticode)", ... for a WIN_CERTIFICATE type.
std::string certificateTypeName(std::uint16_t type);

}  // namespace tavmor
