// The launcher: prints the banner, takes the Rexx script appended to its own file, stages it in
// the temp directory and has the interpreter run it with the launcher's arguments.
#include <cstdio>
#include <initializer_list>
#include <new>
#include <string>
#include <string_view>

#include "interp/interp.hpp"
#include "launcher/banner.hpp"
#include "payload/payload.hpp"
#include "platform/file.hpp"
#include "staging/staging.hpp"
#include "util/escape.hpp"

namespace {

constexpr int kStatusFailure = -1;  // all bits set: 255 on POSIX, 0xFFFFFFFF on Windows
constexpr int kStatusNoScript = 1;

// Writes the parts as one "ERROR: " line, with control characters in names escaped. It builds
// no string, so that it still works when memory has run out.
int fail(int status, std::initializer_list<std::string_view> parts) {
  std::fflush(stdout);  // what the script wrote comes first
  std::fputs("ERROR: ", stderr);
  for (const std::string_view part : parts) tavmor::writeEscaped(stderr, part);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  return status;
}

// The line and status for a launcher file that could not be opened or read.
int openFailure(const tavmor::Status& failure, const std::string& launcherName) {
  using Code = tavmor::Status::Code;
  switch (failure.code()) {
    case Code::kCannotRead:
      return fail(kStatusFailure, {"reading ", launcherName, ": ", failure.reason()});
    case Code::kNoMemory:
      return fail(kStatusFailure, {"Not enough memory to read ", launcherName});
    default:  // missing, no regular file, or one that may be run but not read (mode 111)
      return fail(kStatusFailure, {"opening ", launcherName, ": ", failure.reason()});
  }
}

// The line and status for a script that could not be staged at tempPath.
int stagingFailure(const tavmor::Status& failure, const std::string& launcherName,
                   const std::string& tempPath) {
  using Code = tavmor::Status::Code;
  switch (failure.code()) {
    case Code::kCannotRead:
      return fail(kStatusFailure, {"reading ", launcherName, ": ", failure.message()});
    case Code::kNoMemory:
      return fail(kStatusFailure, {"Not enough memory to decode the Rexx code."});
    case Code::kCannotWrite:
      return fail(kStatusFailure, {"Cannot write temp file ", tempPath, ": ", failure.reason()});
    default:
      // Every other cause (a directory, or another user's file, at the name) gets this one line.
      return fail(kStatusFailure, {"Cannot create temp file."});
  }
}

int launch(int argc, char** argv) {
  using namespace tavmor;
  printBanner(currentUnixNanos());

  const Result<std::string> tempDir = platformTempDirectory();
  if (!tempDir.ok()) return fail(kStatusFailure, {tempDir.status().message()});
  // Newer kernels start a program given no arguments with one empty argument.
  if (argc < 1 || argv[0] == nullptr || *argv[0] == '\0') {
    return fail(kStatusFailure, {"The launcher was started without its own name (argv[0])."});
  }
  const std::string launcherName = argv[0];

  // Mapped rather than copied: a start touches only a few pages of the launcher's own image.
  Result<FileImage> image = mapWholeFile(launcherName);
  if (!image.ok()) return openFailure(image.status(), launcherName);

  // The pages of the payload go as soon as the search and the decoder are done with them: a
  // large script is never held whole, neither encoded nor decoded.
  const auto release = [&](const unsigned char* start, std::uint64_t size) {
    releasePages(*image, start, size);
  };
  const auto span = findPayload(image->bytes.get(), image->size, release);
  if (!imageIntact(*image)) {
    return fail(kStatusFailure,
                {"reading ", launcherName, ": the file changed or could not be read"});
  }
  if (!span) return fail(kStatusNoScript, {"Rexx code not found."});

  const auto tempPath = makeTempScriptPath(launcherName, *tempDir);
  if (!tempPath) {
    return fail(kStatusFailure, {"The launcher's path is not valid UTF-8: ", launcherName});
  }
  // A launcher whose temp script path is its own file would replace itself with its script.
  if (sameFile(*tempPath, launcherName)) return fail(kStatusFailure, {"Cannot create temp file."});
  const Result<StagedScript> staged = StagedScript::stage(*tempPath, *image, *span, removalDelay());
  *image = FileImage{};  // the mapping and its file, which the script must not inherit
  if (!staged.ok()) return stagingFailure(staged.status(), launcherName, *tempPath);

  const Result<void*> instance = runScript(staged->path().c_str(), argc, argv);
  if (!instance.ok()) {
    staged->discard();
    return fail(kStatusFailure, {instance.status().message()});
  }
  terminateInstance(*instance);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // The heap blocks fail softly; this catches the small allocations around them, which can
  // fail too when a memory limit leaves nothing over.
  try {
    return launch(argc, argv);
  } catch (const std::bad_alloc&) {
    return fail(kStatusFailure, {"Not enough memory."});
  }
}
