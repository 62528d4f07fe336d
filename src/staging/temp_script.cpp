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
  return replaceFileAtomically(path, content, FileMode::kOwnerOnly, nullptr, Durability::kScratch);
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
