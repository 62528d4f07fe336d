#include "peresource/icon.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/images.hpp"

namespace tavmor {
namespace {

using test::putLe;

Result<std::vector<IconImage>> parse(const std::string& file) {
  return parseIconFile(reinterpret_cast<const unsigned char*>(file.data()), file.size());
}

const std::vector<std::string> kImages = {
    test::bitmapIconImage(16, 16, 32), test::bitmapIconImage(32, 32, 4), test::pngImage(256, 256)};

TEST(IconFile, GivesEveryImageAsTheDirectoryDescribesIt) {
  const auto images = parse(test::iconFile(kImages));
  ASSERT_TRUE(images.ok()) << images.status().message();
  ASSERT_EQ(images->size(), 3u);
  const IconEntry& png = (*images)[2].entry;
  EXPECT_EQ(png.width, 0);  // 256
  EXPECT_EQ(png.bitCount, 32);
  EXPECT_EQ((*images)[1].entry.bitCount, 4);
  for (std::size_t i = 0; i < kImages.size(); ++i) {
    EXPECT_EQ(std::string((*images)[i].bytes.begin(), (*images)[i].bytes.end()), kImages[i]);
  }

  // The group names the RT_ICON resources in order, with what the directory said of each.
  const auto group = encodeIconGroup(*images, 7);
  const auto entries = decodeIconGroup(group.data(), group.size());
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 3u);
  EXPECT_EQ((*entries)[2].id, 9);
  EXPECT_EQ((*entries)[2].size, kImages[2].size());
  EXPECT_EQ((*entries)[1].width, 32);
  EXPECT_FALSE(decodeIconGroup(group.data(), group.size() - 1));

  // As many images as Windows tools read.
  const auto most = parse(
      test::iconFile(std::vector<std::string>(kMostIconImages, test::bitmapIconImage(1, 1, 1))));
  ASSERT_TRUE(most.ok()) << most.status().message();
  EXPECT_EQ(most->size(), kMostIconImages);
}

TEST(IconFile, RefusesHeadersCountsAndImagesThatLie) {
  const std::string good = test::iconFile(kImages);
  // Cut anywhere, the file lacks part of its header, its directory or its last image.
  for (std::size_t length = 0; length < good.size(); ++length) {
    EXPECT_FALSE(parse(good.substr(0, length)).ok()) << length;
  }
  const std::size_t first = 6;            // the first directory entry
  const std::size_t third = 6 + 2 * 16;   // the PNG's entry
  const std::size_t bitmap = 6 + 3 * 16;  // the first image
  struct Case {
    const char* name;
    std::size_t offset;
    std::uint64_t value;
    int size;
    const char* why;
  };
  const Case cases[] = {
      {"not an icon (a cursor)", 2, 2, 2, "header"},
      {"reserved field set", 0, 1, 2, "header"},
      {"no image", 4, 0, 2, "no image"},
      {"more images than the file holds", 4, 2000, 2, "directory of 2000"},
      {"more images than Windows tools read", 4, 4097, 2, "4097 images, more than the 4096"},
      {"an empty image", first + 8, 0, 4, "empty"},
      {"an image past the end", third + 12, good.size() - 10, 4, "outside the file"},
      {"an image whose size overflows", third + 8, 0xffffffff, 4, "outside the file"},
      {"an image inside the directory", first + 12, 6, 4, "outside the file"},
      {"a width the bitmap does not have", first, 20, 1, "bitmap of 16x16, not 20x16"},
      {"a PNG of another size", third + 1, 128, 1, "PNG image of 256x256, not 256x128"},
      {"a bitmap header of no known size", bitmap, 12, 4, "neither"},
      {"a bitmap of 3 bits a pixel", bitmap + 14, 3, 2, "3 bits"},
      {"a bitmap too short for its colour table", bitmap + 32, 100000, 4, "cut short"},
  };
  for (const Case& c : cases) {
    std::string file = good;
    if (c.size == 1) {
      file[c.offset] = static_cast<char>(c.value);
    } else {
      putLe(file, c.offset, c.value, c.size);
    }
    const auto images = parse(file);
    ASSERT_FALSE(images.ok()) << c.name;
    EXPECT_EQ(images.status().code(), Status::Code::kUsage) << c.name;
    EXPECT_NE(images.status().message().find(c.why), std::string::npos)
        << c.name << ": " << images.status().message();
  }

  // Three entries that name one image, each copied: more than the file holds.
  std::string shared = test::iconFile(std::vector<std::string>(3, kImages[2]));
  shared.resize(6 + 3 * 16 + kImages[2].size());
  for (const std::size_t entry : {6 + 16, 6 + 2 * 16}) putLe(shared, entry + 12, 6 + 3 * 16, 4);
  const auto overlapping = parse(shared);
  ASSERT_FALSE(overlapping.ok());
  EXPECT_NE(overlapping.status().message().find("overlap"), std::string::npos);
}

}  // namespace
}  // namespace tavmor
