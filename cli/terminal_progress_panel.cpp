#include "cli/terminal_progress_panel.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace sonavelt::cli {
namespace {

// Status texts on one line: line ends and tabs become single blanks.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    char d = (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
    if (d == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += d;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

TerminalProgressPanel::TerminalProgressPanel(bool quiet)
    : quiet_(quiet), tty_(isatty(fileno(stderr))) {}

void TerminalProgressPanel::SetStatusText(const std::string& text) {
  status_ = OneLine(text);
  if (quiet_) return;
  if (tty_) Redraw();
  else std::fprintf(stderr, "%s\n", status_.c_str());
}

void TerminalProgressPanel::SetPosition(int percent) {
  if (percent == percent_) return;
  percent_ = percent;
  if (quiet_) return;
  if (tty_) Redraw();
  else std::fprintf(stderr, "%d%%\n", percent);
}

void TerminalProgressPanel::Finish() {
  if (tty_ && drawn_) std::fprintf(stderr, "\n");
  drawn_ = false;
}

void TerminalProgressPanel::Redraw() {
  std::string label = percent_ < 0 ? "    " : (std::to_string(percent_) + "%");
  // A line longer than the terminal would wrap, and the next redraw
  // would only clear its last part.
  std::string shown = status_;
  struct winsize size {};
  if (ioctl(fileno(stderr), TIOCGWINSZ, &size) == 0 && size.ws_col > 8 &&
      shown.size() > size.ws_col - 6u)
    shown.resize(size.ws_col - 6u);
  std::fprintf(stderr, "\r\033[K%4s %s", label.c_str(), shown.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void RunUserInterface::Tell(BoxStyle style, const std::string& text) {
  panel_.Finish();
  inner_.Tell(style, text);
}

bool RunUserInterface::Ask(BoxStyle style, const std::string& question) {
  panel_.Finish();
  return inner_.Ask(style, question);
}

}  // namespace sonavelt::cli
