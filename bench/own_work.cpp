// Does the launcher's own work on a launcher file, and nothing else: read the file, find and
// decode the script, write the temp script file. No banner, no thread, no interpreter, so that
// its time and peak memory are the launcher's share of a run. Prints the seconds that the work
// took; the temp file is removed afterwards.
#include <chrono>
#include <iostream>
#include <string>

#include "payload/payload.hpp"
#include "platform/file.hpp"
#include "platform/path.hpp"
#include "staging/staging.hpp"

int main(int argc, char** argv) {
  using namespace tavmor;
  if (argc != 2) {
    std::cerr << "usage: tavmor_own_work LAUNCHER-FILE\n";
    return 2;
  }
  const std::string launcherName = argv[1];
  const TempDirectory tempDir = platformTempDirectory();
  if (!tempDir.path) {
    std::cerr << "tavmor_own_work: " << tempDir.error << '\n';
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  std::optional<std::string> tempPath;
  {
    // The same steps, in the same order, as the launcher's main.
    ReadResult read = mapWholeFile(launcherName, "tavmor_own_work: the file shrank", 1);
    if (read.status != ReadStatus::kOk) {
      std::cerr << "tavmor_own_work: cannot read " << launcherName << '\n';
      return 1;
    }
    const auto span = findPayload(read.image.bytes.get(), read.image.size);
    if (!span) {
      std::cerr << "tavmor_own_work: no script in " << launcherName << '\n';
      return 1;
    }
    const auto script = decodeScript(read.image.bytes.get(), *span);
    tempPath = makeTempScriptPath(launcherName, *tempDir.path);
    if (!script || !tempPath || !writeTempScript(*tempPath, script->bytes.get(), script->length)) {
      std::cerr << "tavmor_own_work: cannot decode or stage the script\n";
      return 1;
    }
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  removeFileQuietly(*tempPath);
  std::cout << took.count() << '\n';
  return 0;
}
