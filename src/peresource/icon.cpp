#include "peresource/icon.hpp"

#include <cstring>
#include <string>

#include "util/coding.hpp"

namespace tavmor {
namespace {

constexpr std::uint64_t kDirectoryHeaderSize = 6;  // reserved, type (1: icon), count
constexpr std::uint64_t kFileEntrySize = 16;       // ... bytes in image, offset of image
constexpr std::uint64_t kGroupEntrySize = 14;      // ... bytes in image, RT_ICON id
constexpr std::uint16_t kTypeIcon = 1;
constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr std::uint64_t kPngHeaderEnd = 8 + 8 + 13;  // signature, IHDR length and type, IHDR
constexpr std::uint64_t kBitmapHeaderSize = 40;      // BITMAPINFOHEADER

std::uint32_t pixels(std::uint8_t dimension) { return dimension == 0 ? 256 : dimension; }

IconEntry readEntry(const unsigned char* p) {
  IconEntry entry;
  entry.width = p[0];
  entry.height = p[1];
  entry.colorCount = p[2];
  entry.planes = decodeFixed16(p + 4);
  entry.bitCount = decodeFixed16(p + 6);
  entry.size = decodeFixed32(p + 8);
  return entry;
}

void writeEntry(std::vector<unsigned char>& out, const IconEntry& entry) {
  unsigned char p[12] = {entry.width, entry.height, entry.colorCount, 0};
  encodeFixed16(p + 4, entry.planes);
  encodeFixed16(p + 6, entry.bitCount);
  encodeFixed32(p + 8, entry.size);
  out.insert(out.end(), p, p + sizeof p);
}

// Why the image does not hold what its directory entry describes, or nothing when it does. A
// bitmap must hold its colour table, its pixels and its mask; an entry with no planes or bit
// count takes them from the bitmap, as Windows does.
std::optional<std::string> checkImage(IconImage& image) {
  const unsigned char* data = image.bytes.data();
  const std::uint64_t size = image.bytes.size();
  const std::uint32_t width = pixels(image.entry.width);
  const std::uint32_t height = pixels(image.entry.height);
  const std::string dimensions = std::to_string(width) + "x" + std::to_string(height);
  if (isPngImage(data, size)) {
    if (size < kPngHeaderEnd || std::memcmp(data + 12, "IHDR", 4) != 0) {
      return "is a PNG image without its header";
    }
    if (decodeBigEndian32(data + 16) != width || decodeBigEndian32(data + 20) != height) {
      return "is a PNG image of " + std::to_string(decodeBigEndian32(data + 16)) + "x" +
             std::to_string(decodeBigEndian32(data + 20)) + ", not " + dimensions;
    }
    if (image.entry.planes == 0 && image.entry.bitCount == 0) {
      image.entry.planes = 1;
      image.entry.bitCount = 32;
    }
    return std::nullopt;
  }
  if (size < kBitmapHeaderSize || decodeFixed32(data) < kBitmapHeaderSize ||
      decodeFixed32(data) > size) {
    return "is neither a PNG image nor a bitmap";
  }
  const auto bitmapWidth = static_cast<std::int32_t>(decodeFixed32(data + 4));
  const auto bitmapHeight = static_cast<std::int32_t>(decodeFixed32(data + 8));
  const std::uint16_t bitCount = decodeFixed16(data + 14);
  if (bitmapWidth != static_cast<std::int32_t>(width) ||
      bitmapHeight != static_cast<std::int32_t>(2 * height)) {
    return "is a bitmap of " + std::to_string(bitmapWidth) + "x" +
           std::to_string(bitmapHeight / 2) + ", not " + dimensions;
  }
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
      bitCount != 32) {
    return "is a bitmap of " + std::to_string(bitCount) + " bits per pixel";
  }
  const std::uint64_t usedColors = decodeFixed32(data + 32);
  const std::uint64_t colors = bitCount > 8 ? usedColors : usedColors ? usedColors : 1u << bitCount;
  const std::uint64_t rowBytes = (std::uint64_t{width} * bitCount + 31) / 32 * 4;
  const std::uint64_t maskRowBytes = (std::uint64_t{width} + 31) / 32 * 4;
  const std::uint64_t needed =
      decodeFixed32(data) + colors * 4 + (rowBytes + maskRowBytes) * height;
  if (needed > size) {
    return "is a bitmap cut short: it needs " + std::to_string(needed) + " bytes, and has " +
           std::to_string(size);
  }
  if (image.entry.planes == 0 && image.entry.bitCount == 0) {
    image.entry.planes = decodeFixed16(data + 12);
    image.entry.bitCount = bitCount;
  }
  return std::nullopt;
}

}  // namespace

bool isPngImage(const unsigned char* data, std::uint64_t size) {
  return size >= sizeof kPngSignature &&
         std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0;
}

Result<std::vector<IconImage>> parseIconFile(const unsigned char* data, std::uint64_t size) {
  const auto invalid = [](const std::string& why) {
    return Status::failure(Status::Code::kUsage, "not a valid icon file: " + why);
  };
  if (size < kDirectoryHeaderSize) return invalid("it is shorter than an icon header");
  if (decodeFixed16(data) != 0 || decodeFixed16(data + 2) != kTypeIcon) {
    return invalid("its header is not an icon's");
  }
  const std::uint64_t count = decodeFixed16(data + 4);
  if (count == 0) return invalid("it holds no image");
  if (count > kMostIconImages) {
    return Status::failure(Status::Code::kUsage,
                           "it holds " + std::to_string(count) + " images, more than the " +
                               std::to_string(kMostIconImages) + " Windows tools read");
  }
  const std::uint64_t directoryEnd = kDirectoryHeaderSize + count * kFileEntrySize;
  if (directoryEnd > size) {
    return invalid("its directory of " + std::to_string(count) + " images runs past its end");
  }
  std::vector<IconImage> images;
  std::uint64_t imageBytes = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    const unsigned char* record = data + kDirectoryHeaderSize + i * kFileEntrySize;
    IconImage image;
    image.entry = readEntry(record);
    const std::uint64_t offset = decodeFixed32(record + 12);
    const std::string which = "image " + std::to_string(i + 1);
    if (image.entry.size == 0) return invalid(which + " is empty");
    if (offset < directoryEnd || offset > size || image.entry.size > size - offset) {
      return invalid(which + " (offset " + std::to_string(offset) + ", " +
                     std::to_string(image.entry.size) + " bytes) lies outside the file");
    }
    // Each image is copied, so entries that all name one large image would take the file's
    // size many times over; the images of an icon file lie side by side.
    imageBytes += image.entry.size;
    if (imageBytes > size - directoryEnd) return invalid("its images overlap");
    image.bytes.assign(data + offset, data + offset + image.entry.size);
    if (const auto problem = checkImage(image)) return invalid(which + " " + *problem);
    images.push_back(std::move(image));
  }
  return images;
}

std::vector<unsigned char> encodeIconGroup(const std::vector<IconImage>& images,
                                           std::uint16_t firstId) {
  std::vector<unsigned char> out(kDirectoryHeaderSize);
  encodeFixed16(out.data() + 2, kTypeIcon);
  encodeFixed16(out.data() + 4, static_cast<std::uint16_t>(images.size()));
  for (std::size_t i = 0; i < images.size(); ++i) {
    writeEntry(out, images[i].entry);
    const auto id = static_cast<std::uint16_t>(firstId + i);
    out.push_back(static_cast<unsigned char>(id & 0xff));
    out.push_back(static_cast<unsigned char>(id >> 8));
  }
  return out;
}

std::optional<std::vector<IconEntry>> decodeIconGroup(const unsigned char* data,
                                                      std::uint64_t size) {
  if (size < kDirectoryHeaderSize || decodeFixed16(data + 2) != kTypeIcon) return std::nullopt;
  const std::uint64_t count = decodeFixed16(data + 4);
  if (kDirectoryHeaderSize + count * kGroupEntrySize > size) return std::nullopt;
  std::vector<IconEntry> entries;
  for (std::uint64_t i = 0; i < count; ++i) {
    const unsigned char* record = data + kDirectoryHeaderSize + i * kGroupEntrySize;
    IconEntry entry = readEntry(record);
    entry.id = decodeFixed16(record + 12);
    entries.push_back(entry);
  }
  return entries;
}

}  // namespace tavmor
