#include "base/status.h"

namespace sonavelt {

std::string Status::ToString() const {
  switch (code_) {
    case Code::kOk: return "ok";
    case Code::kNotFound: return "not found: " + message_;
    case Code::kCorrupt: return "corrupt: " + message_;
    case Code::kIoError: return "i/o error: " + message_;
    case Code::kCancelled: return "cancelled: " + message_;
    case Code::kRefused: return "refused: " + message_;
    case Code::kInvalidArgument: return "invalid argument: " + message_;
  }
  return message_;
}

}  // namespace sonavelt
