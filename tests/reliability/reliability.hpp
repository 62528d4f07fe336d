#pragma once
// Shared by the fault and hostile-input tests: launcher files made byte by byte, memory caps
// that work in sanitized builds too, and a look at what a run left in its temp directory.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "e2e/e2e.hpp"
#include "payload/encode.hpp"
#include "payload/format.hpp"
#include "support/payload_reference.hpp"

namespace tavmor::test {

// The sanitizers the binaries under test were built with ("" for none).
inline const std::string kSanitizers = TAVMOR_SANITIZERS;

inline constexpr std::uint64_t kMiB = 1024 * 1024;

// Options for a launcher run whose temp directory is tmp.
inline RunOptions inTempDir(const TempDir& tmp) {
  RunOptions options;
  options.env["TMPDIR"] = tmp.path();
  return options;
}

// Runs program with its memory capped so that an allocation of `mebibytes` fails. A plain build
// gets an address-space limit; a sanitized one, whose runtime reserves terabytes of address
// space, the sanitizer's own cap on one allocation, with failed allocations returning null as
// they would. The note the sanitizer prints for each such allocation is taken out of stderr,
// which then holds what a user would see.
inline RunResult runCapped(const std::string& program, const std::vector<std::string>& args,
                           RunOptions options, std::uint64_t mebibytes) {
  if (kSanitizers.empty()) {
    options.limits.push_back({RLIMIT_AS, mebibytes * kMiB});
    return run(program, args, options);
  }
  const bool thread = kSanitizers.find("thread") != std::string::npos;
  const std::string variable = thread ? "TSAN_OPTIONS" : "ASAN_OPTIONS";
  const char* inherited = std::getenv(variable.c_str());
  options.env[variable] =
      std::string(inherited != nullptr ? inherited : "") +
      ":allocator_may_return_null=1:max_allocation_size_mb=" + std::to_string(mebibytes);
  RunResult result = run(program, args, options);
  const std::string note = std::string("WARNING: ") +
                           (thread ? "ThreadSanitizer" : "AddressSanitizer") +
                           " failed to allocate 0x";
  std::string kept;
  std::size_t start = 0;
  while (start < result.err.size()) {
    std::size_t end = result.err.find('\n', start);
    end = end == std::string::npos ? result.err.size() : end + 1;
    const std::string line = result.err.substr(start, end - start);
    if (!(line.rfind("==", 0) == 0 && line.find(note) != std::string::npos)) kept += line;
    start = end;
  }
  result.err = kept;
  return result;
}

inline std::string launcherImage() {
  const auto image = readFile(kLauncher);
  if (!image) throw std::runtime_error("cannot read " + kLauncher);
  return *image;
}

// The marker followed by the packer's encoding of script.
inline std::string payloadOf(const std::string& script) {
  const auto pairs =
      encodeRunLength(reinterpret_cast<const unsigned char*>(script.data()), script.size());
  return kPayloadMarker + std::string(pairs.begin(), pairs.end());
}

// What the launcher decodes from a payload (without the marker): each pair's run, in order.
inline std::string decodedPairs(const std::string& pairs) {
  return reference::decodePairs(reinterpret_cast<const unsigned char*>(pairs.data()), pairs.size());
}

// A file of `size` bytes that starts with head and ends with tail, with a hole between them
// that takes no room on disk.
inline void writeSparseFile(const std::string& path, const std::string& head, std::uint64_t size,
                            const std::string& tail) {
  writeFile(path, head);
  if (::truncate(path.c_str(), static_cast<off_t>(size - tail.size())) != 0) {
    throw std::runtime_error("cannot extend " + path);
  }
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << tail;
  if (!out) throw std::runtime_error("cannot append to " + path);
}

inline int entriesIn(const std::string& dir) {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

inline int lineCount(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// A launcher run that handed its interpreter the whole script, which said `line`.
inline bool ranWhole(const RunResult& r, const std::string& line) {
  return r.status == 0 && r.err.empty() && r.out.find(line + "\n") != std::string::npos;
}

// A launcher run that ended with one error line beginning with `start`, status -1, and ran
// nothing.
inline bool refused(const RunResult& r, const std::string& start) {
  return r.status == 255 && r.err.rfind(start, 0) == 0 && lineCount(r.err) == 1 &&
         r.out.find("ran") == std::string::npos;
}

}  // namespace tavmor::test
