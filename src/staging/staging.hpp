#pragma once
// The temporary script file: where it goes, writing it, and removing it after a delay.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "payload/payload.hpp"
#include "platform/file.hpp"
#include "util/status.hpp"

namespace tavmor {

inline constexpr std::chrono::milliseconds kRemovalDelay{5000};

// The delay before the launcher removes its staged script: kRemovalDelay. A test build of the
// launcher links a shorter one, so that its tests need not wait on the real one.
std::chrono::milliseconds removalDelay();

// The platform's directory for temporary files (UTF-8), which must exist and be a directory; a
// relative one is made absolute against the current directory. The failure's message is one
// line for the user ("Temp directory not found: DIR").
Result<std::string> platformTempDirectory();

// The temp script path for a launcher started as argv0: tempDir joined with "." and argv0 cut at
// its first ".", with ".tmp" appended, and reduced to its file name. Nothing when argv0 or the
// result is not valid UTF-8.
std::optional<std::string> makeTempScriptPath(const std::string& argv0, const std::string& tempDir);

// For a launcher file started by its file name `fileName` (no folders), the length of its temp
// script's name when that is longer than a file system can hold (then every such start fails);
// nothing when it fits.
std::optional<std::size_t> tempScriptNameTooLong(const std::string& fileName);

// Writes the script that the payload at `span` of the launcher file `image` decodes to at
// `path`, readable by the owner only, decoded piece by piece into the file's writes: neither the
// whole script nor the whole payload is ever held in memory. The file at path is never
// half-written: it is written beside it and moved onto it, and a failed write leaves nothing
// behind and fails as replaceFileAtomically does; kCannotRead when the image turned out not to
// be what the file holds or the file changed meanwhile, kNoMemory when no memory was to be had
// for a piece.
Status writeTempScriptFromPayload(const std::string& path, const FileImage& image,
                                  const PayloadSpan& span);

// Sleeps for `delay` (resuming after interruptions), then removes the file at path. A file that
// is missing or cannot be removed is left alone.
void removeAfterDelay(const std::string& path, std::chrono::milliseconds delay);

// The launcher's staged script, from its creation to its removal. Signals that would end the
// process wait while it is written; before they are let go, its removal is arranged: a detached
// thread removes it `removalDelay` seconds later, and a signal that ends the run before then
// removes it first. Without a thread (no memory, no threads left) the file stays, as a quick
// script's does when the process ends before the delay.
class StagedScript {
 public:
  // Stages the script as writeTempScriptFromPayload does, and fails as it does.
  static Result<StagedScript> stage(const std::string& path, const FileImage& image,
                                    const PayloadSpan& span,
                                    std::chrono::milliseconds removalDelay);

  const std::string& path() const { return path_; }

  // Removes the file now, when the run failed: nothing it could still need.
  void discard() const;

 private:
  explicit StagedScript(std::string path) : path_(std::move(path)) {}

  std::string path_;
};

}  // namespace tavmor
