#pragma once
// Placing a resource section in a PE image, whose headers (exeformat/pe_headers.hpp) have
// been read and checked: the section table, SizeOfImage, the data directory and the checksum.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "exeformat/pe_headers.hpp"
#include "util/status.hpp"

namespace tavmor {

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
