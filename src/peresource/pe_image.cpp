#include "peresource/pe_image.hpp"

#include <algorithm>
#include <cstring>

#include "util/coding.hpp"

namespace tavmor {
namespace {

constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint16_t kPe32Magic = 0x10b;
constexpr std::uint16_t kPe32PlusMagic = 0x20b;
// Offsets into the optional header, the same in PE32 and PE32+.
constexpr std::uint64_t kSizeOfInitializedData = 8;
constexpr std::uint64_t kSectionAlignment = 32;
constexpr std::uint64_t kFileAlignment = 36;
constexpr std::uint64_t kSizeOfImage = 56;
constexpr std::uint64_t kSizeOfHeaders = 60;
constexpr std::uint64_t kCheckSum = 64;
constexpr std::uint32_t kInitializedDataReadable = 0x40000040;

bool isPowerOfTwo(std::uint64_t n) { return n != 0 && (n & (n - 1)) == 0; }

std::uint64_t alignUp(std::uint64_t n, std::uint64_t alignment) {
  return (n + alignment - 1) / alignment * alignment;
}

// The bytes of the image a section's address range maps from its raw data.
std::uint64_t mappedSize(const PeSection& s) {
  return s.virtualSize != 0 ? std::min(s.virtualSize, s.rawSize) : s.rawSize;
}

std::uint64_t virtualEnd(const PeSection& s) {
  return std::uint64_t{s.virtualAddress} + (s.virtualSize != 0 ? s.virtualSize : s.rawSize);
}

}  // namespace

Result<PeHeaders> readPeHeaders(const unsigned char* data, std::uint64_t size) {
  const auto fail = [](const std::string& why) { return Status::failure("its PE headers " + why); };
  if (size < 64 || data[0] != 'M' || data[1] != 'Z') return fail("are missing");
  PeHeaders h;
  h.fileSize = size;
  const std::uint64_t pe = decodeFixed32(data + 0x3c);
  h.coffHeader = pe + 4;
  h.optionalHeader = h.coffHeader + 20;
  if (h.optionalHeader + 2 > size || std::memcmp(data + pe, "PE\0\0", 4) != 0) {
    return fail("are missing");
  }
  const std::uint64_t sectionCount = decodeFixed16(data + h.coffHeader + 2);
  const std::uint64_t optionalSize = decodeFixed16(data + h.coffHeader + 16);
  const std::uint16_t magic = decodeFixed16(data + h.optionalHeader);
  const std::uint64_t directoriesAt = magic == kPe32PlusMagic ? 112 : 96;
  if (magic != kPe32Magic && magic != kPe32PlusMagic) return fail("are neither PE32 nor PE32+");
  if (optionalSize < directoriesAt || h.optionalHeader + optionalSize > size) {
    return fail("are cut short");
  }
  const unsigned char* optional = data + h.optionalHeader;
  h.directories = h.optionalHeader + directoriesAt;
  h.directoryCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(
      decodeFixed32(optional + directoriesAt - 4), (optionalSize - directoriesAt) / 8));
  h.sectionAlignment = decodeFixed32(optional + kSectionAlignment);
  h.fileAlignment = decodeFixed32(optional + kFileAlignment);
  h.sizeOfHeaders = decodeFixed32(optional + kSizeOfHeaders);
  if (!isPowerOfTwo(h.fileAlignment) || !isPowerOfTwo(h.sectionAlignment) ||
      h.fileAlignment > 0x10000 || h.sectionAlignment < h.fileAlignment) {
    return fail("give alignments no loader accepts");
  }
  h.sectionTable = h.optionalHeader + optionalSize;
  if (h.sectionTable + sectionCount * kSectionHeaderSize > size) {
    return fail("hold a section table that runs past the end of the file");
  }
  for (std::uint64_t i = 0; i < sectionCount; ++i) {
    PeSection s;
    s.headerOffset = h.sectionTable + i * kSectionHeaderSize;
    const unsigned char* header = data + s.headerOffset;
    s.virtualSize = decodeFixed32(header + 8);
    s.virtualAddress = decodeFixed32(header + 12);
    s.rawSize = decodeFixed32(header + 16);
    s.rawPointer = decodeFixed32(header + 20);
    h.sections.push_back(s);
  }
  return h;
}

std::optional<DataDirectory> dataDirectory(const PeHeaders& headers, const unsigned char* data,
                                           std::uint32_t index) {
  if (index >= headers.directoryCount) return std::nullopt;
  const unsigned char* entry = data + headers.directories + 8 * std::uint64_t{index};
  return DataDirectory{decodeFixed32(entry), decodeFixed32(entry + 4)};
}

std::optional<FileRange> fileRangeAt(const PeHeaders& headers, std::uint64_t rva) {
  for (const PeSection& s : headers.sections) {
    if (rva < s.virtualAddress || rva - s.virtualAddress >= mappedSize(s)) continue;
    const std::uint64_t offset = std::uint64_t{s.rawPointer} + (rva - s.virtualAddress);
    const std::uint64_t end =
        std::min(std::uint64_t{s.rawPointer} + mappedSize(s), headers.fileSize);
    if (offset >= end) return std::nullopt;
    return FileRange{offset, end};
  }
  return std::nullopt;
}

Result<SectionSlot> resourceSectionSlot(const std::vector<unsigned char>& image,
                                        const PeHeaders& headers) {
  const auto& sections = headers.sections;
  std::uint64_t nextAddress = alignUp(headers.sizeOfHeaders, headers.sectionAlignment);
  std::uint64_t firstRaw = headers.sizeOfHeaders;
  std::optional<std::size_t> last;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    nextAddress = std::max(nextAddress, alignUp(virtualEnd(sections[i]), headers.sectionAlignment));
    if (sections[i].rawPointer != 0 && sections[i].rawSize != 0) {
      firstRaw = std::min<std::uint64_t>(firstRaw, sections[i].rawPointer);
    }
    if (!last || sections[i].virtualAddress >= sections[*last].virtualAddress) last = i;
  }
  const auto resources = dataDirectory(headers, image.data(), kResourceDirectory);
  if (!resources) return Status::failure("its PE headers have no resource directory entry");
  if (last && resources->rva != 0 && sections[*last].virtualAddress == resources->rva &&
      std::uint64_t{sections[*last].rawPointer} + sections[*last].rawSize == image.size()) {
    return SectionSlot{sections[*last].virtualAddress, sections[*last].rawPointer, last};
  }
  // A new entry in the section table must fit before the first section's data, over bytes that
  // nothing uses.
  const std::uint64_t entry = headers.sectionTable + sections.size() * kSectionHeaderSize;
  if (entry + kSectionHeaderSize > firstRaw ||
      std::any_of(image.begin() + static_cast<std::ptrdiff_t>(entry),
                  image.begin() + static_cast<std::ptrdiff_t>(entry + kSectionHeaderSize),
                  [](unsigned char c) { return c != 0; })) {
    return Status::failure("its PE headers have no room for another section");
  }
  const std::uint64_t rawPointer = alignUp(image.size(), headers.fileAlignment);
  if (nextAddress > UINT32_MAX / 2 || rawPointer > UINT32_MAX / 2) {
    return Status::failure("its image is too large for another section");
  }
  return SectionSlot{static_cast<std::uint32_t>(nextAddress),
                     static_cast<std::uint32_t>(rawPointer), std::nullopt};
}

void installResourceSection(std::vector<unsigned char>& image, const PeHeaders& headers,
                            const SectionSlot& slot, const std::vector<unsigned char>& section) {
  const auto size = static_cast<std::uint32_t>(section.size());
  const auto rawSize = static_cast<std::uint32_t>(alignUp(size, headers.fileAlignment));
  image.resize(slot.rawPointer);
  image.insert(image.end(), section.begin(), section.end());
  image.resize(std::uint64_t{slot.rawPointer} + rawSize);

  unsigned char* coff = image.data() + headers.coffHeader;
  unsigned char* optional = image.data() + headers.optionalHeader;
  std::uint32_t initializedData = decodeFixed32(optional + kSizeOfInitializedData) + rawSize;
  std::uint64_t header = headers.sectionTable + headers.sections.size() * kSectionHeaderSize;
  if (slot.replaces) {
    header = headers.sections[*slot.replaces].headerOffset;
    initializedData -= headers.sections[*slot.replaces].rawSize;
  } else {
    encodeFixed16(coff + 2, static_cast<std::uint16_t>(headers.sections.size() + 1));
  }
  unsigned char* entry = image.data() + header;
  std::memset(entry, 0, kSectionHeaderSize);
  std::memcpy(entry, ".rsrc", 5);
  encodeFixed32(entry + 8, size);
  encodeFixed32(entry + 12, slot.virtualAddress);
  encodeFixed32(entry + 16, rawSize);
  encodeFixed32(entry + 20, slot.rawPointer);
  encodeFixed32(entry + 36, kInitializedDataReadable);
  encodeFixed32(optional + kSizeOfInitializedData, initializedData);
  encodeFixed32(optional + kSizeOfImage,
                static_cast<std::uint32_t>(
                    alignUp(std::uint64_t{slot.virtualAddress} + size, headers.sectionAlignment)));
  unsigned char* directory = image.data() + headers.directories + 8 * kResourceDirectory;
  encodeFixed32(directory, slot.virtualAddress);
  encodeFixed32(directory + 4, size);
}

void updatePeChecksum(unsigned char* data, std::uint64_t size, const PeHeaders& headers) {
  const std::uint64_t field = headers.optionalHeader + kCheckSum;
  const auto byteAt = [&](std::uint64_t i) -> std::uint64_t {
    return i >= size || (i >= field && i < field + 4) ? 0 : data[i];
  };
  std::uint64_t sum = 0;
  for (std::uint64_t i = 0; i < size; i += 2) {
    sum += byteAt(i) | byteAt(i + 1) << 8;
    sum = (sum & 0xffff) + (sum >> 16);
  }
  sum = (sum & 0xffff) + (sum >> 16);
  encodeFixed32(data + field, static_cast<std::uint32_t>(sum + size));
}

}  // namespace tavmor
