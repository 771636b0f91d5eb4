#pragma once

#include <string>

namespace sonavelt::remote {

// The one-line FTP status text at the foot of the wizard, visible only while
// the remote browser contacts a server or lists a folder. The remote code
// calls it from the thread it works on; an implementation shows each text at
// once (the work that follows blocks that thread).
class StatusLine {
 public:
  virtual ~StatusLine() = default;
  virtual void Show(const std::string& text) = 0;
  virtual void Hide() = 0;
};

}  // namespace sonavelt::remote
