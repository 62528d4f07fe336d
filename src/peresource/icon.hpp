#pragma once
// Icons: the .ico file format, and the icon group resource (RT_GROUP_ICON) that names the
// RT_ICON resources holding a Windows program's icon images.

#include <cstdint>
#include <optional>
#include <vector>

#include "util/status.hpp"

namespace tavmor {

// What an icon directory says of one image; a width or height of 0 means 256.
struct IconEntry {
  std::uint8_t width = 0;
  std::uint8_t height = 0;
  std::uint8_t colorCount = 0;
  std::uint16_t planes = 0;
  std::uint16_t bitCount = 0;
  std::uint32_t size = 0;  // bytes of the image
  std::uint16_t id = 0;    // in a group: the RT_ICON resource that holds the image
};

struct IconImage {
  IconEntry entry;
  std::vector<unsigned char> bytes;  // a PNG file, or a BITMAPINFOHEADER with its pixels and mask
};

// The most images an icon may have: Windows tools (pefile among them) refuse a resource table of
// more entries, and each image is an entry of the RT_ICON table.
inline constexpr std::uint64_t kMostIconImages = 4096;

// The images of the .ico file [data, data + size), in its order. Fails with
// Status::Code::kUsage, saying why ("image 2 lies outside the file"), unless the header, the
// directory and every image are whole and apart, each image is a PNG or bitmap of the size the
// directory gives, and there are at most kMostIconImages.
Result<std::vector<IconImage>> parseIconFile(const unsigned char* data, std::uint64_t size);

// The RT_GROUP_ICON resource for images, which RT_ICON resources firstId, firstId + 1, ... hold.
std::vector<unsigned char> encodeIconGroup(const std::vector<IconImage>& images,
                                           std::uint16_t firstId);

// The entries of an RT_GROUP_ICON resource; nothing when it is malformed.
std::optional<std::vector<IconEntry>> decodeIconGroup(const unsigned char* data,
                                                      std::uint64_t size);

// Whether an icon image is PNG-compressed (else it is a bitmap).
bool isPngImage(const unsigned char* data, std::uint64_t size);

}  // namespace tavmor
