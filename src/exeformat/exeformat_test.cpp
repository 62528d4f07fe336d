#include "exeformat/exeformat.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "support/images.hpp"

namespace tavmor {
namespace {

using test::elfImage;
using test::peImage;

ExecutableLayout describe(const std::string& image) {
  return describeExecutable(reinterpret_cast<const unsigned char*>(image.data()), image.size());
}

TEST(Executable, FindsWhereAnElfImageEnds) {
  const std::string image = elfImage(0x40);
  const auto layout = describe(image + "appended");
  EXPECT_EQ(layout.format, ExecutableFormat::kElf);
  EXPECT_EQ(layout.machine, kElfMachineX8664);
  EXPECT_EQ(layout.imageEnd, image.size());
  EXPECT_EQ(layout.appendedStart, image.size());
  EXPECT_EQ(layout.appendedEnd, image.size() + 8);
}

TEST(Executable, FindsWhereAPeImageEndsAndItsCertificate) {
  const std::string unsigned_ = peImage();
  auto layout = describe(unsigned_ + "tail");
  EXPECT_EQ(layout.format, ExecutableFormat::kPe);
  EXPECT_EQ(layout.machine, kPeMachineAmd64);
  EXPECT_TRUE(layout.is64Bit);
  EXPECT_EQ(layout.imageEnd, 0x400u);
  EXPECT_FALSE(layout.certificate);

  const std::string payload = "payload!";
  const std::string signedImage = peImage(0x400 + 8, 16) + payload + std::string(16, 'C');
  layout = describe(signedImage);
  ASSERT_TRUE(layout.certificate);
  EXPECT_EQ(layout.appendedStart, 0x400u);
  EXPECT_EQ(layout.appendedEnd, 0x408u);  // stops where the certificate table begins
}

TEST(Executable, LyingHeadersNeverReadOutsideTheFile) {
  // Truncations of valid images, and random corruption of their header bytes; run under the
  // sanitizers, any read past the end fails the test.
  std::mt19937 rng(7);
  for (const std::string& valid : {elfImage(0x40), peImage(0x400, 0x10) + std::string(16, 'C')}) {
    for (std::size_t length = 0; length <= valid.size(); ++length) {
      const std::string truncated = valid.substr(0, length);
      const auto layout = describe(truncated);
      EXPECT_LE(layout.appendedStart, layout.appendedEnd);
      EXPECT_LE(layout.appendedEnd, length);
    }
    for (int trial = 0; trial < 2000; ++trial) {
      std::string corrupt = valid;
      for (int flips = 0; flips < 4; ++flips) {
        corrupt[rng() % 0x180] = static_cast<char>(rng());
      }
      const auto layout = describe(corrupt);
      EXPECT_LE(layout.appendedStart, layout.appendedEnd);
      EXPECT_LE(layout.appendedEnd, corrupt.size());
    }
  }
}

TEST(Executable, CertificateOutsideTheFileIsIgnored) {
  const std::string image = peImage(0xfffffff0, 0x100) + "tail";
  const auto layout = describe(image);
  EXPECT_EQ(layout.appendedEnd, image.size());
}

}  // namespace
}  // namespace tavmor
