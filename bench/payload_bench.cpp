// Throughput of the marker search, the run-length decoder and the packer's encoder.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "payload/encode.hpp"
#include "payload/format.hpp"
#include "payload/payload.hpp"

namespace tavmor {
namespace {

constexpr std::int64_t kKiB = 1024;
constexpr std::int64_t kMiB = 1024 * kKiB;

// Printable text with newlines, as a script or the data in its comments would be: every byte
// value the marker is made of turns up now and then.
std::vector<unsigned char> textLike(std::size_t size) {
  std::mt19937 rng(2025);
  std::vector<unsigned char> text(size);
  for (auto& c : text) {
    const unsigned r = rng() % 96;
    c = static_cast<unsigned char>(r == 95 ? '\n' : ' ' + r);
  }
  return text;
}

// Pairs that each expand to `run` copies of a text byte, `outputSize` bytes in all.
std::vector<unsigned char> pairsOfRuns(std::size_t outputSize, unsigned run) {
  const auto text = textLike(outputSize / run + 1);
  std::vector<unsigned char> pairs;
  pairs.reserve(outputSize / run * kPairSize);
  for (std::size_t i = 0; i < outputSize / run; ++i) {
    pairs.push_back(static_cast<unsigned char>(run));
    pairs.push_back(text[i]);
  }
  return pairs;
}

// The marker at the start of `size` bytes of appended data, so that the search crosses all of it.
std::vector<unsigned char> appendedData(std::size_t size, bool allHashes) {
  std::vector<unsigned char> data =
      allHashes ? std::vector<unsigned char>(size, '#') : pairsOfRuns(size / kPairSize + 1, 1);
  data.resize(size, '#');
  for (std::size_t i = 0; i < kPayloadMarkerSize; ++i) {
    data[i] = static_cast<unsigned char>(kPayloadMarker[i]);
  }
  return data;
}

void searchArgs(benchmark::internal::Benchmark* b) {
  for (std::int64_t size = kKiB; size <= 256 * kMiB; size *= 16) b->Arg(size);
  b->Arg(256 * kMiB);
}

void searchAppendedData(benchmark::State& state, bool allHashes) {
  const auto data = appendedData(static_cast<std::size_t>(state.range(0)), allHashes);
  for (auto _ : state) {
    auto found = findLastMarker(data.data(), data.size());
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_FindLastMarker(benchmark::State& state) { searchAppendedData(state, false); }
BENCHMARK(BM_FindLastMarker)->Apply(searchArgs)->Unit(benchmark::kMicrosecond);

// Every byte starts the marker as far as its first byte goes.
void BM_FindLastMarkerInHashes(benchmark::State& state) { searchAppendedData(state, true); }
BENCHMARK(BM_FindLastMarkerInHashes)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMicrosecond);

// Arguments: decoded size, run length.
void BM_DecodeRunLength(benchmark::State& state) {
  const auto outputSize = static_cast<std::size_t>(state.range(0));
  const auto pairs = pairsOfRuns(outputSize, static_cast<unsigned>(state.range(1)));
  std::vector<unsigned char> out(outputSize);
  for (auto _ : state) {
    auto n = decodeRunLength(pairs.data(), pairs.size(), out.data(), out.size());
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(outputSize));
}
BENCHMARK(BM_DecodeRunLength)
    ->ArgsProduct({{kMiB, 64 * kMiB}, {1, 255}})
    ->Unit(benchmark::kMicrosecond);

// What the machine itself gives: memset over the same output, one call per run of 255 bytes
// (the decoder's floor for long runs) or one call for the whole block (argument 0).
void BM_MemsetReference(benchmark::State& state) {
  const auto outputSize = static_cast<std::size_t>(state.range(0));
  const auto run = static_cast<std::size_t>(state.range(1) != 0 ? state.range(1) : state.range(0));
  std::vector<unsigned char> out(outputSize);
  for (auto _ : state) {
    for (std::size_t i = 0; i + run <= outputSize; i += run) std::memset(out.data() + i, 'x', run);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(outputSize));
}
BENCHMARK(BM_MemsetReference)
    ->ArgsProduct({{kMiB, 64 * kMiB}, {255, 0}})
    ->Unit(benchmark::kMicrosecond);

// A real script's mix of runs: mostly single bytes, with indentation and blank lines.
void BM_DecodeScript(benchmark::State& state) {
  std::string script;
  std::mt19937 rng(7);
  const auto words = textLike(4096);
  while (script.size() < static_cast<std::size_t>(state.range(0))) {
    script.append(rng() % 4 * 2, ' ');
    script.append(reinterpret_cast<const char*>(words.data()) + rng() % 4000, 10 + rng() % 60);
    script.append(rng() % 5 == 0 ? "\n\n" : "\n");
  }
  const auto pairs =
      encodeRunLength(reinterpret_cast<const unsigned char*>(script.data()), script.size());
  std::vector<unsigned char> out(decodedLength(pairs.data(), pairs.size()));
  for (auto _ : state) {
    auto n = decodeRunLength(pairs.data(), pairs.size(), out.data(), out.size());
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
}
BENCHMARK(BM_DecodeScript)->Arg(kMiB)->Unit(benchmark::kMicrosecond);

void BM_DecodedLength(benchmark::State& state) {
  const auto pairs = pairsOfRuns(static_cast<std::size_t>(state.range(0)), 1);
  for (auto _ : state) {
    auto n = decodedLength(pairs.data(), pairs.size());
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(pairs.size()));
}
BENCHMARK(BM_DecodedLength)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMicrosecond);

// Arguments: script size, and whether it is text (1) or long runs of one byte (0).
void BM_EncodeRunLength(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const auto script = state.range(1) ? textLike(size) : std::vector<unsigned char>(size, '#');
  for (auto _ : state) {
    auto pairs = encodeRunLength(script.data(), script.size());
    benchmark::DoNotOptimize(pairs.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_EncodeRunLength)
    ->ArgsProduct({{kMiB, 64 * kMiB}, {1, 0}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavmor
