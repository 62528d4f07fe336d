#include "platform/replace.hpp"

#include "platform/replace_steps.hpp"
#include "platform/signals.hpp"

namespace tavmor {
namespace {

// The temporary file from its creation until it is moved onto the target: on every other way
// out it is closed and then removed (Windows removes no file that is open).
class TempFile {
 public:
  TempFile(std::unique_ptr<NewFile> file, ReplaceSteps& steps)
      : file_(std::move(file)), path_(file_->path()), steps_(steps) {}
  ~TempFile() {
    file_.reset();
    if (!moved_) steps_.remove(path_);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  NewFile& operator*() { return *file_; }
  NewFile* operator->() { return file_.get(); }
  const std::string& path() const { return path_; }
  void movedAway() { moved_ = true; }

 private:
  std::unique_ptr<NewFile> file_;
  const std::string path_;
  ReplaceSteps& steps_;
  bool moved_ = false;
};

// The failure of a step, worded here once for every platform. The target is named by the caller,
// which knows it by the name the user gave.
Status failed(Status::Code code, const std::string& what, const Status& step) {
  return Status::failure(code, what + ": " + step.reason(), step.reason());
}

}  // namespace

Status replaceFileAtomically(const std::string& path, const ContentSource& content, FileMode mode,
                             const WriteCheck& check, Durability durability, ReplaceSteps& steps) {
  // Outlives the temporary file: a process never ends between creating it and removing or
  // moving it, and a write past the file size limit fails as on a full disk.
  const SignalHold held;
  Result<std::unique_ptr<NewFile>> created = steps.createBeside(path, mode);
  if (!created.ok()) {
    return failed(Status::Code::kFailed, "cannot create a temporary file beside it",
                  created.status());
  }
  TempFile temp(std::move(*created), steps);
  const std::string cannotWrite = "cannot write " + temp.path();
  Status written = Status::success();
  const Status produced = content([&](const unsigned char* data, std::uint64_t size) {
    if (written.ok()) written = temp->write(data, size);
    return written.ok();
  });
  if (!written.ok()) return failed(Status::Code::kCannotWrite, cannotWrite, written);
  if (!produced.ok()) return produced;
  const bool durable = durability == Durability::kDurable;
  if (durable) {
    if (const Status synced = temp->sync(); !synced.ok()) {
      return failed(Status::Code::kCannotWrite, cannotWrite, synced);
    }
  }
  // Checked before the mode is set: the check reads the file by its name, which the mode that
  // a umask such as 0777 leaves would forbid.
  if (check) {
    if (const Status checked = check(temp.path()); !checked.ok()) {
      return Status::failure("the written file did not check out: " + checked.message());
    }
  }
  if (const Status moded = temp->setFinalMode(mode); !moded.ok()) {
    return failed(Status::Code::kCannotWrite, "cannot set the mode of " + temp.path(), moded);
  }
  if (const Status closed = temp->close(); !closed.ok()) {
    return failed(Status::Code::kCannotWrite, cannotWrite, closed);
  }
  if (const Status moved = steps.moveOnto(temp.path(), path, durability); !moved.ok()) {
    return failed(Status::Code::kFailed, "cannot replace it", moved);
  }
  temp.movedAway();
  if (durable) steps.syncFolderOf(path);
  return Status::success();
}

Status replaceFileAtomically(const std::string& path, const ContentSource& content, FileMode mode,
                             const WriteCheck& check, Durability durability) {
  return replaceFileAtomically(path, content, mode, check, durability, platformReplaceSteps());
}

}  // namespace tavmor
