#pragma once
// The parts of a PE image's headers that placing a section needs: the section table, the
// alignments, the data directory, SizeOfImage and the checksum.

#include <cstdint>
#include <optional>
#include <vector>

#include "util/status.hpp"

namespace tavmor {

struct PeSection {
  std::uint64_t headerOffset = 0;  // where its entry in the section table lies in the file
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t rawPointer = 0;
};

struct PeHeaders {
  std::uint64_t coffHeader = 0;  // file offsets
  std::uint64_t optionalHeader = 0;
  std::uint64_t sectionTable = 0;
  std::uint64_t directories = 0;
  std::uint32_t directoryCount = 0;
  std::uint32_t sectionAlignment = 0;
  std::uint32_t fileAlignment = 0;
  std::uint32_t sizeOfHeaders = 0;
  std::uint64_t fileSize = 0;
  std::vector<PeSection> sections;  // in the table's order
};

struct DataDirectory {
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
};

inline constexpr std::uint32_t kResourceDirectory = 2;

// The headers of the PE32 or PE32+ image [data, data + size). Fails, saying why, when they do not
// lie whole within it or their alignments are none a loader accepts.
Result<PeHeaders> readPeHeaders(const unsigned char* data, std::uint64_t size);

// Entry `index` of the data directory; nothing when the image has no such entry.
std::optional<DataDirectory> dataDirectory(const PeHeaders& headers, const unsigned char* data,
                                           std::uint32_t index);

// Where rva lies in the file, and where the raw data of its section ends there (never past the
// end of the file); nothing when no section's raw data holds it.
struct FileRange {
  std::uint64_t offset = 0;
  std::uint64_t end = 0;
};
std::optional<FileRange> fileRangeAt(const PeHeaders& headers, std::uint64_t rva);

// Where a new resource section goes: at the address of the current one when that is the last
// section of the image and nothing follows its data (a file this tool wrote), else as a new
// section after the last, and the section it replaces, if any. image is the whole executable
// image, with nothing appended. Fails when the headers have no room for another section.
struct SectionSlot {
  std::uint32_t virtualAddress = 0;
  std::uint32_t rawPointer = 0;
  std::optional<std::size_t> replaces;
};
Result<SectionSlot> resourceSectionSlot(const std::vector<unsigned char>& image,
                                        const PeHeaders& headers);

// Puts section (encoded for slot's address) into image at slot, and makes it the image's
// resource section: the section table, SizeOfImage, SizeOfInitializedData and the resource
// entry of the data directory follow. Whatever lay after the slot is dropped.
void installResourceSection(std::vector<unsigned char>& image, const PeHeaders& headers,
                            const SectionSlot& slot, const std::vector<unsigned char>& section);

// Sets the checksum field of the PE file [data, data + size) to the file's checksum, as
// CheckSumMappedFile computes it over the whole file.
void updatePeChecksum(unsigned char* data, std::uint64_t size, const PeHeaders& headers);

}  // namespace tavmor
