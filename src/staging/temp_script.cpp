#include "platform/path.hpp"
#include "platform/replace.hpp"
#include "platform/signals.hpp"
#include "platform/thread.hpp"
#include "staging/staging.hpp"

namespace tavmor {
namespace {

// False when no thread could be started.
bool startDelayedRemoval(const std::string& path, std::chrono::milliseconds delay) {
  try {
    return startDetachedThread([ownPath = path, delay] { removeAfterDelay(ownPath, delay); });
  } catch (...) {
    return false;  // no memory for the thread's copy of the path
  }
}

}  // namespace

Status writeTempScriptFromPayload(const std::string& path, const FileImage& image,
                                  const PayloadSpan& span) {
  // Pieces of 1 MiB: few enough writes, and small enough to stay in the processor's cache
  // between the decoder and the write.
  constexpr std::size_t kPiece = 1u << 20;
  const auto content = [&](const ChunkWriter& write) {
    const Status decoded = decodeInPieces(
        image.bytes.get(), span, kPiece, write,
        [&](const unsigned char* start, std::uint64_t size) { releasePages(image, start, size); });
    if (!decoded.ok()) return decoded;
    if (!imageIntact(image)) {
      return Status::failure(Status::Code::kCannotRead, "the file changed or could not be read");
    }
    return Status::success();
  };
  // Written beside the final name and moved onto it, so that a run of a same-named launcher never
  // hands its interpreter a half-written file, and a link planted at the name is replaced, not
  // followed.
  return replaceFileAtomically(path, content, FileMode::kOwnerOnly, nullptr, Durability::kScratch);
}

void removeAfterDelay(const std::string& path, std::chrono::milliseconds delay) {
  sleepFor(delay);
  // A later file at the name belongs to another run, which a signal must not take along.
  cancelRemovalOnTermination();
  removeFileQuietly(path);
}

Result<StagedScript> StagedScript::stage(const std::string& path, const FileImage& image,
                                         const PayloadSpan& span,
                                         std::chrono::milliseconds removalDelay) {
  // Held from before the file is created until its removal is arranged: a signal that arrives
  // meanwhile waits, and then removes the file before it ends the run.
  const SignalHold held;
  if (Status written = writeTempScriptFromPayload(path, image, span); !written.ok()) {
    return written;
  }
  startDelayedRemoval(path, removalDelay);
  // A signal that ends the run before the removal is due would leave the file for good.
  removeOnTermination(path);
  return StagedScript(path);
}

void StagedScript::discard() const {
  cancelRemovalOnTermination();
  removeFileQuietly(path_);
}

}  // namespace tavmor
