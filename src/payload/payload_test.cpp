#include "payload/payload.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "payload/format.hpp"
#include "support/images.hpp"
#include "support/payload_reference.hpp"

namespace tavmor {
namespace {

const unsigned char* bytes(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

std::string decode(const std::string& payload, std::uint64_t capacity) {
  std::string out(capacity, '\0');
  const auto n = decodeRunLength(bytes(payload), payload.size(),
                                 reinterpret_cast<unsigned char*>(out.data()), capacity);
  out.resize(n);
  return out;
}

TEST(Decode, ExpandsPairsAndHonoursTheCapacity) {
  struct Case {
    std::string payload;
    std::uint64_t capacity;
    std::string expected;
  };
  const Case cases[] = {
      {"\x29"
       "a"
       "\x03\n",
       1000, std::string(41, 'a') + "\n\n\n"},
      {std::string("\x00"
                   "A"
                   "\x02"
                   "B",
                   4),
       1000, "BB"},  // a zero run yields nothing
      {"\x02"
       "C"
       "\x05",
       1000, "CC"},                   // odd last byte ignored
      {"\x02x\x02y", 3, "xx"},        // a run that does not fit stops
      {"\x02x\x01y\x05z", 3, "xxy"},  // exactly full
      {"\x02x\x03y\x01z", 4, "xx"},   // no later pair after a stop
      {"", 10, ""},
      {"\x05", 10, ""},
      {"\xff"
       "q",
       255, std::string(255, 'q')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decode(c.payload, c.capacity), c.expected) << "payload size " << c.payload.size();
  }
}

TEST(Decode, DecodedLengthIsTheSumOfRuns) {
  EXPECT_EQ(decodedLength(bytes("\x29"
                                "a"
                                "\x03\n"),
                          4),
            44u);
  EXPECT_EQ(decodedLength(bytes("\xff"
                                "a"
                                "\xff"
                                "b"
                                "\x07"),
                          5),
            510u);
  EXPECT_EQ(decodedLength(bytes(""), 0), 0u);
}

TEST(Search, FindsTheOccurrenceNearestTheEnd) {
  const std::string marker = kPayloadMarker;
  EXPECT_EQ(findLastMarker(bytes(marker), marker.size()), 0u);
  EXPECT_EQ(findLastMarker(bytes("x" + marker + "yy" + marker + "z"), 19), 10u);
  EXPECT_FALSE(findLastMarker(bytes("##RUR#"), 6));
  EXPECT_FALSE(findLastMarker(bytes(""), 0));
  // Overlapping occurrences: the later start wins.
  const std::string overlapping = "##RUR##RUR##";
  EXPECT_EQ(findLastMarker(bytes(overlapping), overlapping.size()), 5u);
}

TEST(Search, AgreesWithAPlainScanAcrossBlockEdges) {
  std::mt19937 rng(99);
  const std::string marker = kPayloadMarker;
  for (std::size_t size = 0; size < 600; ++size) {
    for (int trial = 0; trial < 4; ++trial) {
      // Bytes of the marker and little else, so that partial matches abound.
      std::string data(size, '\0');
      for (auto& c : data) c = "##RUx"[rng() % 5];
      for (int copies = trial; copies > 0 && size >= marker.size(); --copies) {
        data.replace(rng() % (size - marker.size() + 1), marker.size(), marker);
      }
      ASSERT_EQ(findLastMarker(bytes(data), data.size()),
                reference::lastMarker(bytes(data), data.size()))
          << "size " << size << ", trial " << trial;
    }
  }
}

TEST(Decode, AgreesWithAPlainExpansionAndWritesNothingPastIt) {
  std::mt19937 rng(17);
  const unsigned counts[] = {0, 1, 1, 1, 1, 1, 1, 2, 3, 4, 7, 8, 9, 15, 16, 17, 32, 33, 200, 255};
  for (int trial = 0; trial < 3000; ++trial) {
    std::string pairs;
    const std::size_t n = rng() % 60;
    const bool singles = trial % 2 == 0;  // mostly runs of one, as text encodes
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned count = singles && rng() % 16 != 0 ? 1 : counts[rng() % std::size(counts)];
      pairs += static_cast<char>(count);
      pairs += static_cast<char>('a' + rng() % 26);
    }
    if (rng() % 4 == 0) pairs += 'z';  // an odd last byte
    const std::uint64_t whole = decodedLength(bytes(pairs), pairs.size());
    const std::uint64_t capacity = rng() % 3 == 0 ? whole : rng() % (whole + 10);
    const std::string expected = reference::decodePairs(bytes(pairs), pairs.size(), capacity);
    std::string out(capacity + 64, '~');
    const auto written = decodeRunLength(bytes(pairs), pairs.size(),
                                         reinterpret_cast<unsigned char*>(out.data()), capacity);
    ASSERT_EQ(out.substr(0, written), expected) << "trial " << trial;
    ASSERT_EQ(out.substr(written), std::string(capacity + 64 - written, '~')) << "trial " << trial;
  }
}

TEST(Decode, DecodedLengthAgreesWithAPlainSumAtAnySize) {
  std::mt19937 rng(5);
  std::string pairs(9000, '\0');
  for (auto& c : pairs) c = static_cast<char>(rng());
  for (std::size_t size : {0, 1, 2, 2047, 2048, 2049, 4096, 4097, 6000, 9000}) {
    std::uint64_t plain = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2) plain += static_cast<unsigned char>(pairs[i]);
    EXPECT_EQ(decodedLength(bytes(pairs), size), plain) << size;
  }
}

TEST(Payload, OnlyAMarkerAfterTheImageCounts) {
  std::string image = test::minimalElf();
  image.replace(16, 7, kPayloadMarker);  // a copy inside the image, as the launcher holds one
  EXPECT_FALSE(findPayload(bytes(image), image.size()));

  const std::string file = image + "junk" + kPayloadMarker +
                           "\x02"
                           "a" +
                           kPayloadMarker +
                           "\x03"
                           "b";
  const auto span = findPayload(bytes(file), file.size());
  ASSERT_TRUE(span);
  EXPECT_EQ(span->markerOffset, 64u + 4 + 7 + 2);
  EXPECT_EQ(span->payloadStart, span->markerOffset + 7);
  EXPECT_EQ(span->payloadEnd, file.size());
  const auto script = decodeScript(bytes(file), *span);
  ASSERT_TRUE(script.ok());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(script->bytes.get()), script->length), "bbb");
  EXPECT_EQ(script->bytes[script->length], 0);
}

TEST(Payload, MarkerAtTheVeryEndGivesAnEmptyScript) {
  const std::string file = test::minimalElf() + kPayloadMarker;
  const auto span = findPayload(bytes(file), file.size());
  ASSERT_TRUE(span);
  const auto script = decodeScript(bytes(file), *span);
  ASSERT_TRUE(script.ok());
  EXPECT_EQ(script->capacity, 0u);
  EXPECT_EQ(script->length, 0u);
  EXPECT_EQ(script->bytes[0], 0);
}

TEST(Payload, ScriptBlockIsSizedForTheDecodedLength) {
  // 64 KiB of pairs that each expand to one byte: a worst-case sizing would reserve ~8 MiB.
  std::string pairs;
  for (int i = 0; i < 32768; ++i) pairs += std::string("\x01") + static_cast<char>('a' + i % 26);
  const std::string file = test::minimalElf() + kPayloadMarker + pairs;
  const auto span = findPayload(bytes(file), file.size());
  ASSERT_TRUE(span);
  const auto script = decodeScript(bytes(file), *span);
  ASSERT_TRUE(script.ok());
  EXPECT_EQ(script->capacity, 32768u);
  EXPECT_EQ(script->length, 32768u);
}

// In pieces, the script comes out as decodeScript gives it whole, whatever the block size and
// wherever the runs fall.
TEST(Payload, DecodesInPiecesWhatItDecodesWhole) {
  std::mt19937 random(7);
  std::string pairs;
  for (int i = 0; i < 20000; ++i) {
    const int count = i % 3 == 0 ? 1 : static_cast<int>(random() % 256);
    pairs += std::string(1, static_cast<char>(count)) + static_cast<char>(random());
  }
  for (std::size_t cut : {std::size_t{0}, std::size_t{1}, pairs.size() / 2 + 1}) {
    const std::string file = test::minimalElf() + kPayloadMarker + pairs.substr(cut);
    const auto span = findPayload(bytes(file), file.size());
    ASSERT_TRUE(span);
    const auto whole = decodeScript(bytes(file), *span);
    ASSERT_TRUE(whole.ok());
    for (std::size_t block : {std::size_t{1024}, std::size_t{65536}, std::size_t{1} << 20}) {
      std::string pieces;
      std::uint64_t done = 0;
      ASSERT_TRUE(decodeInPieces(
                      bytes(file), *span, block,
                      [&](const unsigned char* data, std::uint64_t size) {
                        pieces.append(reinterpret_cast<const char*>(data), size);
                        return true;
                      },
                      [&](const unsigned char*, std::uint64_t size) { done += size; })
                      .ok());
      EXPECT_EQ(pieces, std::string(reinterpret_cast<char*>(whole->bytes.get()), whole->length))
          << cut << " " << block;
      EXPECT_LE(done, span->payloadEnd - span->payloadStart);
    }
  }
  // A piece that cannot be written is the last one asked for.
  const std::string file = test::minimalElf() + kPayloadMarker + pairs;
  const auto span = findPayload(bytes(file), file.size());
  int calls = 0;
  ASSERT_TRUE(decodeInPieces(bytes(file), *span, 1024, [&](const unsigned char*, std::uint64_t) {
                return ++calls < 3;
              }).ok());
  EXPECT_EQ(calls, 3);
}

TEST(Payload, UnknownFormatsAreSearchedWhole) {
  const std::string file = std::string("plain text ") + kPayloadMarker + "\x01z";
  const auto span = findPayload(bytes(file), file.size());
  ASSERT_TRUE(span);
  EXPECT_EQ(span->markerOffset, 11u);
}

}  // namespace
}  // namespace tavmor
