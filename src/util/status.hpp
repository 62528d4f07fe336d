#pragma once
// The outcome of an operation that can fail for a reason the user must hear: Status, or, for an
// operation that gives something back, Result<T>, which holds either the thing or the failure.

#include <cassert>
#include <optional>
#include <string>
#include <utility>

namespace tavmor {

class [[nodiscard]] Status {
 public:
  // What failed, for the callers that answer kinds of failure in words of their own.
  enum class Code : unsigned char {
    kOk,
    kFailed,        // any failure not named below
    kUsage,         // a command line that asks for what cannot be done
    kCannotOpen,    // a file that is missing, is no regular file, or whose name cannot be spelled
    kNoPermission,  // a file that is there but may not be read
    kCannotRead,    // a file that failed, or changed size, while it was read
    kNoMemory,      // no memory for the whole file
    kCannotWrite,   // a file that was created but could not be written whole
  };

  static Status success() { return Status(); }
  // `message` is one line for the user: what failed and why ("x: cannot open: No such file or
  // directory"). `reason` is the system's part of it ("No such file or directory"), for the
  // callers that say in their own words what failed.
  static Status failure(std::string message) { return failure(Code::kFailed, std::move(message)); }
  static Status failure(Code code, std::string message, std::string reason = {}) {
    assert(code != Code::kOk);
    return Status(code, std::move(message), std::move(reason));
  }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  // Both empty when ok().
  const std::string& message() const { return message_; }
  const std::string& reason() const { return reason_; }

 private:
  Status() = default;
  Status(Code code, std::string message, std::string reason)
      : code_(code), message_(std::move(message)), reason_(std::move(reason)) {}

  Code code_ = Code::kOk;
  std::string message_;
  std::string reason_;
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}
  // A failure; never Status::success().
  Result(Status failure) : status_(std::move(failure)) { assert(!status_.ok()); }

  bool ok() const { return value_.has_value(); }
  // Status::success() when ok().
  const Status& status() const { return status_; }

  // The value; only when ok(), which debug builds check.
  T& operator*() {
    assert(ok());
    return *value_;
  }
  const T& operator*() const {
    assert(ok());
    return *value_;
  }
  T* operator->() { return &**this; }
  const T* operator->() const { return &**this; }

 private:
  std::optional<T> value_;
  Status status_ = Status::success();
};

}  // namespace tavmor
