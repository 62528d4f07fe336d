#pragma once
// The outcome of an operation that can fail for a reason the user must hear.

#include <optional>
#include <string>
#include <utility>

namespace tavmor {

class [[nodiscard]] Status {
 public:
  static Status success() { return Status(); }
  // `message` is one line for the user: what failed and why ("cannot open x: No such file").
  static Status failure(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !message_; }
  // The reason; empty when ok().
  const std::string& message() const {
    static const std::string kNone;
    return message_ ? *message_ : kNone;
  }

 private:
  Status() = default;
  explicit Status(std::string message) : message_(std::move(message)) {}

  std::optional<std::string> message_;
};

}  // namespace tavmor
