#include "sha256/sha256.hpp"

#include <gtest/gtest.h>

#include <string>

#include "util/hex.hpp"

namespace tavmor {
namespace {

std::string hexDigest(const std::string& message) {
  return toHex(sha256(reinterpret_cast<const unsigned char*>(message.data()), message.size()));
}

TEST(Sha256, MatchesTheStandardTestVectors) {
  struct Case {
    std::string message;
    const char* digest;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
       "lmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hexDigest(c.message), c.digest) << "message of " << c.message.size() << " bytes";
  }
}

TEST(Sha256, PaddingAtEveryLengthAroundABlockBoundary) {
  // Lengths 55, 56 and 64 are where the length field moves into a second final block; digests
  // from coreutils' sha256sum.
  struct Case {
    std::size_t length;
    const char* digest;
  };
  const Case cases[] = {
      {55, "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {56, "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {63, "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
      {64, "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {65, "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hexDigest(std::string(c.length, 'a')), c.digest) << c.length;
  }
}

}  // namespace
}  // namespace tavmor
