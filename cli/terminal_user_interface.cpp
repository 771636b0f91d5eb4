#include "cli/terminal_user_interface.h"

#include <unistd.h>

#include <cctype>
#include <string>

#include "base/text.h"

namespace sonavelt::cli {

void TerminalUserInterface::Tell(BoxStyle, const std::string& text) {
  std::fprintf(err_, "%s\n\n", WithUnixLineEnds(text).c_str());
  std::fflush(err_);
}

bool TerminalUserInterface::Ask(BoxStyle, const std::string& question) {
  std::fprintf(err_, "%s\n", WithUnixLineEnds(question).c_str());
  if (preset_ != Answer::kAsk) {
    bool yes = preset_ == Answer::kYes;
    std::fprintf(err_, "[y/n] %s\n\n", yes ? "y" : "n");
    std::fflush(err_);
    return yes;
  }
  if (!isatty(fileno(in_))) {
    std::fprintf(err_, "[y/n] n (no terminal to ask; use --yes to accept)\n\n");
    std::fflush(err_);
    return false;
  }
  for (;;) {
    std::fprintf(err_, "[y/n] ");
    std::fflush(err_);
    char line[64];
    if (std::fgets(line, sizeof line, in_) == nullptr) return false;
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
    if (c == 'y') return true;
    if (c == 'n') return false;
  }
}

}  // namespace sonavelt::cli
