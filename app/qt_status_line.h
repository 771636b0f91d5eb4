#pragma once

#include <QLabel>
#include <QPointer>

#include "app/gui_call_gate.h"
#include "remote/status_line.h"

namespace sonavelt::app {

// The wizard's one-line FTP status text, beside its buttons. Shown only
// while the remote site is contacted or listed; may be called from the
// thread that does that work.
class QtStatusLine : public remote::StatusLine {
 public:
  // label and gate must outlive the status line.
  QtStatusLine(QLabel& label, GuiCallGate& gate);

  void Show(const std::string& text) override;
  void Hide() override;

 private:
  QLabel& label_;
  GuiCallGate& gate_;
};

}  // namespace sonavelt::app
