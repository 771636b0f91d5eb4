#pragma once

#include <string>

#include "base/user_interface.h"
#include "cli/terminal_user_interface.h"
#include "run/progress_panel.h"

// A run's progress on standard error, and the messages that interrupt it.
namespace sonavelt::cli {

// On a terminal one line that redraws (cut to the terminal's width); else
// one line per status text and per new percentage. Quiet: nothing.
class TerminalProgressPanel : public run::ProgressPanel {
 public:
  explicit TerminalProgressPanel(bool quiet);
  ~TerminalProgressPanel() override { Finish(); }

  void SetStatusText(const std::string& text) override;
  void SetPosition(int percent) override;
  void SetBarOnly(int) override {}
  // Ends the redrawn line before other output.
  void Finish();

 private:
  void Redraw();

  bool quiet_;
  bool tty_;
  bool drawn_ = false;
  int percent_ = -1;
  std::string status_;
};

// A user interface that first ends the progress line, so messages start on
// a line of their own.
class RunUserInterface : public UserInterface {
 public:
  RunUserInterface(TerminalUserInterface& inner, TerminalProgressPanel& panel)
      : inner_(inner), panel_(panel) {}
  void Tell(BoxStyle style, const std::string& text) override;
  bool Ask(BoxStyle style, const std::string& question) override;

 private:
  TerminalUserInterface& inner_;
  TerminalProgressPanel& panel_;
};

}  // namespace sonavelt::cli
