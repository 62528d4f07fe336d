// Staging the script from a payload, on every platform.
#include "staging/staging.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "payload/encode.hpp"
#include "support/test_support.hpp"

namespace tavmor {
namespace {

using test::TempDir;

// A heap image of `bytes`, as readWholeFile gives one.
FileImage imageOf(const std::string& bytes) {
  FileImage image;
  image.bytes.reset(new unsigned char[bytes.size() + 1]);
  std::memcpy(image.bytes.get(), bytes.data(), bytes.size());
  image.size = bytes.size();
  return image;
}

// Stages `script` at path from its packed pairs, which lie behind `before` in the image.
Status stage(const std::string& path, const std::string& script, const std::string& before = {}) {
  const auto pairs =
      encodeRunLength(reinterpret_cast<const unsigned char*>(script.data()), script.size());
  const FileImage image = imageOf(before + std::string(pairs.begin(), pairs.end()));
  const PayloadSpan span{0, before.size(), image.size};
  return writeTempScriptFromPayload(path, image, span);
}

int entriesIn(const std::string& dir) {
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++entries;
  return entries;
}

TEST(TempScript, WritesExactlyTheDecodedScriptOverALeftover) {
  TempDir dir;
  const std::string path = dir / ".report.tmp";
  // Runs that cross the 1 MiB pieces of the write, a NUL and a byte over 127, nothing at all.
  std::string large(3 * 1024 * 1024 + 7, 'a');
  for (std::size_t i = 0; i < large.size(); i += 1000) large[i] = static_cast<char>(i % 251);
  for (const std::string& script :
       {std::string("say 'hi'\n\0\xff", 12), large, std::string(1u << 20, ' '), std::string()}) {
    test::writeFile(path, std::string(5000, 'o'));  // an earlier run's file, longer
    ASSERT_TRUE(stage(path, script, "image bytes before the payload").ok()) << script.size();
    EXPECT_TRUE(test::readFile(path) == script) << script.size();
    EXPECT_EQ(entriesIn(dir.path()), 1) << script.size();
  }
}

TEST(TempScript, FailsWhenTheNameIsADirectory) {
  TempDir dir;
  const std::string path = dir / ".x.tmp";
  ASSERT_TRUE(std::filesystem::create_directory(path));
  test::writeFile(dir / ".x.tmp/inside", "kept");
  const Status staged = stage(path, "x");
  EXPECT_FALSE(staged.ok());
  EXPECT_EQ(test::readFile(dir / ".x.tmp/inside"), "kept");
  EXPECT_EQ(entriesIn(dir.path()), 1);
}

}  // namespace
}  // namespace tavmor
