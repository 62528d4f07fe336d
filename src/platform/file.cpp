#include "platform/file.hpp"

namespace tavmor {

Status readFailure(Status::Code code, const std::string& path, const std::string& reason) {
  switch (code) {
    case Status::Code::kNoMemory:
      return Status::failure(code, path + ": not enough memory to read it");
    case Status::Code::kCannotRead:
      return Status::failure(code, path + ": cannot read: " + reason, reason);
    default:
      return Status::failure(code, path + ": cannot open: " + reason, reason);
  }
}

}  // namespace tavmor
