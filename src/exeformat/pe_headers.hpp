#pragma once
// The headers of a PE image: the DOS header's pointer to the PE signature, the COFF header, the
// optional header with its data directory, and the section table. Read here once, for the
// image's layout, its resources and the packer alike.

#include <cstdint>
#include <optional>
#include <vector>

#include "util/status.hpp"

namespace tavmor {

inline constexpr unsigned char kDosSignature[] = {'M', 'Z'};
inline constexpr unsigned char kPeSignature[] = {'P', 'E', 0, 0};
inline constexpr std::uint64_t kDosHeaderSize = 64;
inline constexpr std::uint64_t kDosPeHeaderPointer = 0x3c;  // e_lfanew
inline constexpr std::uint64_t kCoffHeaderSize = 20;
inline constexpr std::uint64_t kSectionHeaderSize = 40;
inline constexpr std::uint32_t kPeMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kPe32Magic = 0x10b;
inline constexpr std::uint16_t kPe32PlusMagic = 0x20b;
// Offsets into the optional header, the same in PE32 and PE32+.
inline constexpr std::uint64_t kSizeOfInitializedData = 8;
inline constexpr std::uint64_t kSectionAlignment = 32;
inline constexpr std::uint64_t kFileAlignment = 36;
inline constexpr std::uint64_t kSizeOfImage = 56;
inline constexpr std::uint64_t kSizeOfHeaders = 60;
inline constexpr std::uint64_t kCheckSum = 64;
// Entries of the data directory, each an address and a size.
inline constexpr std::uint32_t kResourceDirectory = 2;
inline constexpr std::uint32_t kSecurityDirectory = 4;
inline constexpr std::uint64_t kDataDirectoryEntrySize = 8;

struct PeSection {
  std::uint64_t headerOffset = 0;  // where its entry in the section table lies in the file
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t rawPointer = 0;
};

// What the headers say, as far as they lie within the file; a field outside it reads as 0.
struct PeHeaders {
  std::uint64_t coffHeader = 0;  // file offsets
  std::uint64_t optionalHeader = 0;
  std::uint64_t sectionTable = 0;
  std::uint64_t directories = 0;     // 0 when the magic is neither PE32's nor PE32+'s
  std::uint32_t directoryCount = 0;  // the entries that lie whole in the optional header and file
  std::uint16_t machine = 0;
  std::uint16_t magic = 0;
  std::uint16_t optionalSize = 0;
  std::uint16_t sectionCount = 0;  // as the COFF header says it
  std::uint32_t symbolTable = 0;   // COFF symbols: file offset, count
  std::uint32_t symbolCount = 0;
  std::uint32_t sectionAlignment = 0;
  std::uint32_t fileAlignment = 0;
  std::uint32_t sizeOfHeaders = 0;
  std::vector<PeSection> sections;  // those whose entries lie whole in the file, in order
};

struct DataDirectory {
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
};

// Whether the file [data, data + size) has a DOS header whose pointer leads to the PE signature.
bool hasPeSignature(const unsigned char* data, std::uint64_t size);

// The headers of the PE file [data, data + size); nothing when it has no PE signature or its
// COFF header and the optional header's magic do not lie within it. Never reads outside it.
std::optional<PeHeaders> readPeHeaders(const unsigned char* data, std::uint64_t size);

// Whether headers read from a file of fileSize bytes are whole and sound enough to read
// resources by or to place a section: PE32 or PE32+, the optional header and the section table
// within the file, alignments a loader accepts. Fails, saying why ("its PE headers are ...").
Status checkPeHeaders(const PeHeaders& headers, std::uint64_t fileSize);

// Entry `index` of the data directory; nothing when the image has no such entry.
std::optional<DataDirectory> dataDirectory(const PeHeaders& headers, const unsigned char* data,
                                           std::uint32_t index);

// Where rva lies in a file of fileSize bytes, and where the raw data of its section ends there
// (never past the end of the file); nothing when no section's raw data holds it.
struct FileRange {
  std::uint64_t offset = 0;
  std::uint64_t end = 0;
};
std::optional<FileRange> fileRangeAt(const PeHeaders& headers, std::uint64_t fileSize,
                                     std::uint64_t rva);

}  // namespace tavmor
