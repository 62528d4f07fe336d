#include "peresource/pe_image.hpp"

#include <algorithm>
#include <cstring>

#include "util/coding.hpp"

namespace tavmor {
namespace {

constexpr std::uint32_t kInitializedDataReadable = 0x40000040;

std::uint64_t alignUp(std::uint64_t n, std::uint64_t alignment) {
  return (n + alignment - 1) / alignment * alignment;
}

std::uint64_t virtualEnd(const PeSection& s) {
  return std::uint64_t{s.virtualAddress} + (s.virtualSize != 0 ? s.virtualSize : s.rawSize);
}

}  // namespace

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
  unsigned char* directory =
      image.data() + headers.directories + kDataDirectoryEntrySize * kResourceDirectory;
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
