#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/file.hpp"
#include "support/test_support.hpp"

namespace tavmor {
namespace {

using test::TempDir;

std::string bytesOf(const FileImage& image) {
  return std::string(reinterpret_cast<const char*>(image.bytes.get()), image.size);
}

TEST(MapWholeFile, GivesTheFilesBytesAsReadingDoes) {
  TempDir dir;
  for (const std::size_t size : {0, 1, 4095, 4096, 4097, 100000}) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>(i * 7 + size);
    // Not "f" + to_string: GCC 12 at -O3 warns of an overlapping copy there (-Wrestrict).
    const std::string path = dir / std::string("f").append(std::to_string(size));
    test::writeFile(path, content);
    // More images at a time than are mapped: the rest are read, with the same bytes.
    std::vector<ReadResult> images;
    for (int i = 0; i < 6; ++i) images.push_back(mapWholeFile(path, "unused", 3));
    for (const ReadResult& image : images) {
      ASSERT_EQ(image.status, ReadStatus::kOk) << size;
      EXPECT_EQ(bytesOf(image.image), content) << size;
    }
  }
}

TEST(MapWholeFile, RefusesWhatIsNoRegularFile) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);  // nobody writes: a blocking open hangs
  for (const std::string& path : {dir.path(), dir / "fifo", dir / "missing"}) {
    EXPECT_EQ(mapWholeFile(path, "unused", 3).status, ReadStatus::kCannotOpen) << path;
  }
}

TEST(MapWholeFileDeathTest, AFileThatShrinksUnderTheImageEndsInTheFaultLine) {
  TempDir dir;
  const std::string path = dir / "shrinking";
  test::writeFile(path, std::string(3 * 4096, 'x'));
  EXPECT_EXIT(
      {
        ReadResult mapped = mapWholeFile(path, "ERROR: reading it: gone", 3);
        if (::truncate(path.c_str(), 0) != 0) std::abort();
        volatile unsigned char last = mapped.image.bytes[mapped.image.size - 1];
        (void)last;
        std::abort();
      },
      ::testing::ExitedWithCode(3), "^ERROR: reading it: gone\n$");
}

}  // namespace
}  // namespace tavmor
