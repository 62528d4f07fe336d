#include "payload/encode.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "payload/format.hpp"
#include "payload/payload.hpp"

namespace tavmor {
namespace {

std::string roundTrip(const std::string& script, std::vector<unsigned char>* pairsOut = nullptr) {
  const auto pairs =
      encodeRunLength(reinterpret_cast<const unsigned char*>(script.data()), script.size());
  std::string out(decodedLength(pairs.data(), pairs.size()), '\0');
  out.resize(decodeRunLength(pairs.data(), pairs.size(),
                             reinterpret_cast<unsigned char*>(out.data()), out.size()));
  if (pairsOut) *pairsOut = pairs;
  return out;
}

// The marker followed by the pairs must hold the marker only at its start.
void expectNoMarkerAfterTheFirst(const std::vector<unsigned char>& pairs) {
  std::string appended = kPayloadMarker;
  appended.append(pairs.begin(), pairs.end());
  EXPECT_EQ(
      findLastMarker(reinterpret_cast<const unsigned char*>(appended.data()), appended.size()), 0u);
}

TEST(Encode, RoundTripsRandomScriptsWithWellFormedPairs) {
  std::mt19937 rng(12345);
  for (int trial = 0; trial < 200; ++trial) {
    std::string script;
    const int runs = static_cast<int>(rng() % 200);
    for (int r = 0; r < runs; ++r) {
      // Few distinct values and long runs, so that marker bytes and run splits are common.
      const char value = "#RU\nx\0"[rng() % 6];
      script.append(rng() % 600 + 1, value);
    }
    std::vector<unsigned char> pairs;
    ASSERT_EQ(roundTrip(script, &pairs), script);
    ASSERT_EQ(pairs.size() % 2, 0u);
    for (std::size_t i = 0; i < pairs.size(); i += 2) ASSERT_NE(pairs[i], 0);
    expectNoMarkerAfterTheFirst(pairs);
  }
}

TEST(Encode, RoundTripsTextOfMostlySingleBytes) {
  std::mt19937 rng(777);
  // Runs of one, now and then a run whose count is a byte of the marker.
  const unsigned runs[] = {1, 1, 1, 1, 1, 1, 1, 1, 2, 35, 82, 85, 255, 300};
  for (int trial = 0; trial < 300; ++trial) {
    std::string script;
    const int count = static_cast<int>(rng() % 120);
    for (int r = 0; r < count; ++r)
      script.append(runs[rng() % std::size(runs)], "#RU x\n"[rng() % 6]);
    std::vector<unsigned char> pairs;
    ASSERT_EQ(roundTrip(script, &pairs), script);
    for (std::size_t i = 0; i < pairs.size(); i += 2) ASSERT_NE(pairs[i], 0);
    expectNoMarkerAfterTheFirst(pairs);
  }
}

TEST(Encode, SplitsRunsThatWouldSpellTheMarker) {
  // 35 '#', 82 'U', 82 '#', 35 'x' would encode to 23 23 52 55 52 23 23 78.
  const std::string script =
      std::string(35, '#') + std::string(82, 'U') + std::string(82, '#') + std::string(35, 'x');
  std::vector<unsigned char> pairs;
  EXPECT_EQ(roundTrip(script, &pairs), script);
  expectNoMarkerAfterTheFirst(pairs);
  // A payload that continues the marker ("R##" after "##RUR##" would start another one).
  const std::string continuing = std::string(82, 'U') + std::string(82, '#') + std::string(35, '#');
  EXPECT_EQ(roundTrip(continuing, &pairs), continuing);
  expectNoMarkerAfterTheFirst(pairs);
}

TEST(Encode, EmptyAndLongRuns) {
  EXPECT_TRUE(encodeRunLength(nullptr, 0).empty());
  const std::string long_run(1000, 'z');
  std::vector<unsigned char> pairs;
  EXPECT_EQ(roundTrip(long_run, &pairs), long_run);
  EXPECT_EQ(pairs.size(), 8u);  // 255 + 255 + 255 + 235
}

}  // namespace
}  // namespace tavmor
