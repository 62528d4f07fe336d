#include "platform/file.hpp"

namespace tavmor {

Status readFailure(Status::Code code, const std::string& path, const std::string& reason) {
  std::string message = path;
  if (code == Status::Code::kNoMemory) {
    message += ": not enough memory to read it";
  } else {
    message += code == Status::Code::kCannotRead ? ": cannot read: " : ": cannot open: ";
    message += reason;
  }
  return Status::failure(code, std::move(message), reason);
}

}  // namespace tavmor
