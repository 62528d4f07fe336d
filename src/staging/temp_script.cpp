#include "platform/path.hpp"
#include "platform/replace.hpp"
#include "platform/signals.hpp"
#include "platform/thread.hpp"
#include "staging/staging.hpp"

namespace tavmor {

Status writeTempScript(const std::string& path, const unsigned char* data, std::uint64_t length) {
  // Written beside the final name and moved onto it, so that a run of a same-named launcher never
  // hands its interpreter a half-written file, and a link planted at the name is replaced, not
  // followed.
  return replaceFileAtomically(path, data, length, FileMode::kOwnerOnly, nullptr,
                               Durability::kScratch);
}

void removeAfterDelay(const std::string& path, const std::int32_t& seconds) {
  sleepSeconds(seconds);
  // A later file at the name belongs to another run, which a signal must not take along.
  cancelRemovalOnTermination();
  removeFileQuietly(path);
}

bool startDelayedRemoval(std::string path, std::int32_t seconds) {
  try {
    return startDetachedThread(
        [ownPath = std::move(path), seconds] { removeAfterDelay(ownPath, seconds); });
  } catch (...) {
    return false;  // no memory for the thread's copy of the path
  }
}

}  // namespace tavmor
