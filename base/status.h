#pragma once

#include <string>
#include <utility>

#include "base/box_style.h"

namespace sonavelt {

// The result of an operation that can fail in an expected way (a missing file,
// a refused upload). Carries a message that says what was being done, to what,
// and what went wrong, and the style of the box a front end shows it in
// (system-modal unless the message says otherwise). Cheap to copy; ok() when
// there is nothing to report.
class [[nodiscard]] Status {
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

  // The same status, shown in a box of `style`.
  Status WithBox(BoxStyle style) && {
    box_ = style;
    return std::move(*this);
  }
  Status WithBox(BoxStyle style) const& {
    Status copy = *this;
    copy.box_ = style;
    return copy;
  }

  bool ok() const { return code_ == Code::kOk; }
  bool cancelled() const { return code_ == Code::kCancelled; }
  BoxStyle box() const { return box_; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }
  // "not found: <message>", for logs and the command line.
  std::string ToString() const;

 private:
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}
  Code code_ = Code::kOk;
  std::string message_;
  BoxStyle box_ = BoxStyle::kSystemModal;
};

}  // namespace sonavelt
