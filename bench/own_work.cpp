// Does the launcher's own work on a launcher file, and nothing else: read the file, find and
// decode the script, write the temp script file. No banner, no thread, no interpreter, so that
// its time and peak memory are the launcher's share of a run. Prints, in seconds, the whole work
// and its steps: read, search, decode, write, release. The temp file stays, as a quick script's
// does, so that the next run replaces it as the launcher's next start would.
#include <chrono>
#include <iostream>
#include <optional>
#include <string>

#include "payload/payload.hpp"
#include "platform/file.hpp"
#include "staging/staging.hpp"

int main(int argc, char** argv) {
  using namespace tavmor;
  if (argc != 2) {
    std::cerr << "usage: tavmor_own_work LAUNCHER-FILE\n";
    return 2;
  }
  const std::string launcherName = argv[1];
  const Result<std::string> tempDir = platformTempDirectory();
  if (!tempDir.ok()) {
    std::cerr << "tavmor_own_work: " << tempDir.status().message() << '\n';
    return 1;
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  Clock::time_point read;
  Clock::time_point searched;
  Clock::time_point written;
  std::optional<std::string> tempPath;
  {
    // The same steps, in the same order, as the launcher's main.
    Result<FileImage> image = mapWholeFile(launcherName);
    if (!image.ok()) {
      std::cerr << "tavmor_own_work: " << image.status().message() << '\n';
      return 1;
    }
    read = Clock::now();
    const auto release = [&](const unsigned char* at, std::uint64_t size) {
      releasePages(*image, at, size);
    };
    const auto span = findPayload(image->bytes.get(), image->size, release);
    if (!span) {
      std::cerr << "tavmor_own_work: no script in " << launcherName << '\n';
      return 1;
    }
    searched = Clock::now();
    tempPath = makeTempScriptPath(launcherName, *tempDir);
    if (!tempPath) {
      std::cerr << "tavmor_own_work: cannot name the temp file\n";
      return 1;
    }
    if (const Status staged = writeTempScriptFromPayload(*tempPath, *image, *span); !staged.ok()) {
      std::cerr << "tavmor_own_work: " << staged.message() << '\n';
      return 1;
    }
    written = Clock::now();
  }
  const Clock::time_point released = Clock::now();
  auto seconds = [](Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
  };
  std::cout << seconds(start, written) << ' ' << seconds(start, read) << ' '
            << seconds(read, searched) << ' ' << seconds(searched, written) << ' '
            << seconds(written, released) << '\n';
  return 0;
}
