// The launcher: prints the banner, takes the Rexx script appended to its own file, stages it in
// the temp directory and has the interpreter run it with the launcher's arguments.
#include <iostream>
#include <string>

#include "interp/interp.hpp"
#include "launcher/banner.hpp"
#include "payload/payload.hpp"
#include "platform/file.hpp"
#include "staging/staging.hpp"

namespace {

constexpr int kStatusFailure = -1;  // all bits set: 255 on POSIX, 0xFFFFFFFF on Windows
constexpr int kStatusNoScript = 1;

int fail(const std::string& message, int status) {
  std::cerr << "ERROR: " << message << '\n' << std::flush;
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavmor;
  printBanner(std::cout, currentUnixNanos());

  const TempDirectory tempDir = platformTempDirectory();
  if (!tempDir.path) return fail(tempDir.error, kStatusFailure);
  if (argc < 1 || argv[0] == nullptr) {
    return fail("The launcher was started without its own name (argv[0]).", kStatusFailure);
  }
  const std::string launcherName = argv[0];

  ReadResult read = readWholeFile(launcherName);
  switch (read.status) {
    case ReadStatus::kOk:
      break;
    case ReadStatus::kCannotOpen:
      return fail("opening " + launcherName, kStatusFailure);
    case ReadStatus::kShortRead:
      return fail("reading " + launcherName + ": " + read.error, kStatusFailure);
    case ReadStatus::kNoMemory:
      return fail("Not enough memory to read " + launcherName, kStatusFailure);
  }
  FileImage image = std::move(read.image);

  const auto span = findPayload(image.bytes.get(), image.size);
  if (!span) return fail("Rexx code not found.", kStatusNoScript);
  auto script = decodeScript(image.bytes.get(), *span);
  if (!script) return fail("Not enough memory to decode the Rexx code.", kStatusFailure);

  const auto tempPath = makeTempScriptPath(launcherName, *tempDir.path);
  if (!tempPath) return fail("The launcher's path is not valid UTF-8: " + launcherName, kStatusFailure);
  if (!writeTempScript(*tempPath, script->bytes.get(), script->length)) {
    return fail("Cannot create temp file.", kStatusFailure);
  }
  // Without the thread the file merely stays behind, as it does after a quick script.
  startDelayedRemoval(*tempPath, kRemovalDelaySeconds);

  const auto instance = runScript(tempPath->c_str(), argc, argv);
  if (!instance) return fail("Cannot create a Rexx interpreter instance.", kStatusFailure);
  script.reset();
  image.bytes.reset();
  terminateInstance(*instance);
  return 0;
}
