#include "exeformat/pe_headers.hpp"

#include <algorithm>
#include <cstring>

#include "util/coding.hpp"

namespace tavmor {
namespace {

// Where the data directory begins in the optional header, and where its entry count lies.
constexpr std::uint64_t kPe32Directories = 96;
constexpr std::uint64_t kPe32PlusDirectories = 112;
constexpr std::uint64_t kMostFileAlignment = 0x10000;

bool isPowerOfTwo(std::uint64_t n) { return n != 0 && (n & (n - 1)) == 0; }

// Little-endian fields of the file; one that lies outside it reads as 0. Offsets come from
// untrusted headers, so the sum is checked before it is formed.
struct Fields {
  const unsigned char* data;
  std::uint64_t size;

  bool has(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size && length <= size - offset;
  }
  std::uint16_t u16(std::uint64_t offset) const {
    return has(offset, 2) ? decodeFixed16(data + offset) : 0;
  }
  std::uint32_t u32(std::uint64_t offset) const {
    return has(offset, 4) ? decodeFixed32(data + offset) : 0;
  }
};

// The mapped bytes of a section: its address range maps this much of its raw data.
std::uint64_t mappedSize(const PeSection& s) {
  return s.virtualSize != 0 ? std::min(s.virtualSize, s.rawSize) : s.rawSize;
}

}  // namespace

bool hasPeSignature(const unsigned char* data, std::uint64_t size) {
  const Fields f{data, size};
  if (!f.has(0, kDosHeaderSize) || std::memcmp(data, kDosSignature, sizeof kDosSignature) != 0) {
    return false;
  }
  const std::uint64_t pe = f.u32(kDosPeHeaderPointer);
  return f.has(pe, sizeof kPeSignature) &&
         std::memcmp(data + pe, kPeSignature, sizeof kPeSignature) == 0;
}

std::optional<PeHeaders> readPeHeaders(const unsigned char* data, std::uint64_t size) {
  if (!hasPeSignature(data, size)) return std::nullopt;
  const Fields f{data, size};
  PeHeaders h;
  h.coffHeader = std::uint64_t{f.u32(kDosPeHeaderPointer)} + sizeof kPeSignature;
  h.optionalHeader = h.coffHeader + kCoffHeaderSize;
  if (!f.has(h.optionalHeader, 2)) return std::nullopt;
  h.machine = f.u16(h.coffHeader);
  h.sectionCount = f.u16(h.coffHeader + 2);
  h.symbolTable = f.u32(h.coffHeader + 8);
  h.symbolCount = f.u32(h.coffHeader + 12);
  h.optionalSize = f.u16(h.coffHeader + 16);
  h.magic = f.u16(h.optionalHeader);
  h.sectionAlignment = f.u32(h.optionalHeader + kSectionAlignment);
  h.fileAlignment = f.u32(h.optionalHeader + kFileAlignment);
  h.sizeOfHeaders = f.u32(h.optionalHeader + kSizeOfHeaders);
  h.sectionTable = h.optionalHeader + h.optionalSize;

  const std::uint64_t directoriesAt = h.magic == kPe32PlusMagic ? kPe32PlusDirectories
                                      : h.magic == kPe32Magic   ? kPe32Directories
                                                                : 0;
  if (directoriesAt != 0 && h.optionalSize >= directoriesAt) {
    h.directories = h.optionalHeader + directoriesAt;
    const std::uint64_t inHeader = (h.optionalSize - directoriesAt) / kDataDirectoryEntrySize;
    const std::uint64_t inFile =
        h.directories <= size ? (size - h.directories) / kDataDirectoryEntrySize : 0;
    h.directoryCount = static_cast<std::uint32_t>(
        std::min({std::uint64_t{f.u32(h.directories - 4)}, inHeader, inFile}));
  }
  for (std::uint64_t i = 0; i < h.sectionCount; ++i) {
    PeSection s;
    s.headerOffset = h.sectionTable + i * kSectionHeaderSize;
    if (!f.has(s.headerOffset, kSectionHeaderSize)) break;
    s.virtualSize = f.u32(s.headerOffset + 8);
    s.virtualAddress = f.u32(s.headerOffset + 12);
    s.rawSize = f.u32(s.headerOffset + 16);
    s.rawPointer = f.u32(s.headerOffset + 20);
    h.sections.push_back(s);
  }
  return h;
}

Status checkPeHeaders(const PeHeaders& h, std::uint64_t fileSize) {
  const auto fail = [](const std::string& why) { return Status::failure("its PE headers " + why); };
  if (h.magic != kPe32Magic && h.magic != kPe32PlusMagic) return fail("are neither PE32 nor PE32+");
  if (h.directories == 0 || h.optionalHeader + h.optionalSize > fileSize) {
    return fail("are cut short");
  }
  if (!isPowerOfTwo(h.fileAlignment) || !isPowerOfTwo(h.sectionAlignment) ||
      h.fileAlignment > kMostFileAlignment || h.sectionAlignment < h.fileAlignment) {
    return fail("give alignments no loader accepts");
  }
  if (h.sections.size() != h.sectionCount) {
    return fail("hold a section table that runs past the end of the file");
  }
  return Status::success();
}

std::optional<DataDirectory> dataDirectory(const PeHeaders& headers, const unsigned char* data,
                                           std::uint32_t index) {
  if (index >= headers.directoryCount) return std::nullopt;
  const unsigned char* entry = data + headers.directories + kDataDirectoryEntrySize * index;
  return DataDirectory{decodeFixed32(entry), decodeFixed32(entry + 4)};
}

std::optional<FileRange> fileRangeAt(const PeHeaders& headers, std::uint64_t fileSize,
                                     std::uint64_t rva) {
  for (const PeSection& s : headers.sections) {
    if (rva < s.virtualAddress || rva - s.virtualAddress >= mappedSize(s)) continue;
    const std::uint64_t offset = std::uint64_t{s.rawPointer} + (rva - s.virtualAddress);
    const std::uint64_t end = std::min(std::uint64_t{s.rawPointer} + mappedSize(s), fileSize);
    if (offset >= end) return std::nullopt;
    return FileRange{offset, end};
  }
  return std::nullopt;
}

}  // namespace tavmor
