#pragma once

#include <string>
#include <utility>

namespace sonavelt {

// The result of an operation that can fail in an expected way (a missing file,
// a refused upload). Carries a message that says what was being done, to what,
// and what went wrong. Cheap to copy; ok() when there is nothing to report.
class Status {
 public:
  enum class Code { kOk, kNotFound, kCorrupt, kIoError, kCancelled, kRefused, kInvalidArgument };

  Status() = default;
  static Status Ok() { return Status(); }
  static Status NotFound(std::string m) { return Status(Code::kNotFound, std::move(m)); }
  static Status Corrupt(std::string m) { return Status(Code::kCorrupt, std::move(m)); }
  static Status IoError(std::string m) { return Status(Code::kIoError, std::move(m)); }
  static Status Cancelled(std::string m = "cancelled") { return Status(Code::kCancelled, std::move(m)); }
  static Status Refused(std::string m) { return Status(Code::kRefused, std::move(m)); }
  static Status InvalidArgument(std::string m) {
    return Status(Code::kInvalidArgument, std::move(m));
  }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }
  // "not found: <message>", for logs and the command line.
  std::string ToString() const;

 private:
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}
  Code code_ = Code::kOk;
  std::string message_;
};

}  // namespace sonavelt
