#pragma once

#include <QPointer>

#include "app/gui_call_gate.h"
#include "app/page_widgets.h"
#include "run/progress_panel.h"

namespace sonavelt::app {

// The run's progress on the wizard's InProgress page. Called from the run's
// thread; each call is drawn by the GUI thread before it returns, so the
// run also pauses here while the quit question is open.
class QtProgressPanel : public run::ProgressPanel {
 public:
  // controls and gate must outlive the panel.
  QtProgressPanel(ProgressControls& controls, GuiCallGate& gate);

  void SetStatusText(const std::string& text) override;
  void SetPosition(int percent) override;
  void SetBarOnly(int percent) override;

 private:
  ProgressControls& controls_;
  GuiCallGate& gate_;
};

}  // namespace sonavelt::app
