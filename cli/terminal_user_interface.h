#pragma once

#include <cstdio>

#include "base/user_interface.h"

namespace sonavelt::cli {

// Messages go to standard error with their "\r\n" as line breaks, followed by an
// empty line. Questions are answered by the --yes / --no choice when one was
// given, else asked on the terminal; with no terminal and no choice the answer
// is No, so an unattended run never changes anything it was not told to.
class TerminalUserInterface : public UserInterface {
 public:
  enum class Answer { kAsk, kYes, kNo };

  explicit TerminalUserInterface(Answer preset = Answer::kAsk, std::FILE* err = stderr,
                                 std::FILE* in = stdin)
      : preset_(preset), err_(err), in_(in) {}

  void Tell(BoxStyle style, const std::string& text) override;
  bool Ask(BoxStyle style, const std::string& question) override;

 private:
  Answer preset_;
  std::FILE* err_;
  std::FILE* in_;
};

}  // namespace sonavelt::cli
