#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/gui_call_gate.h"
#include "app/page_widgets.h"
#include "run/progress_panel.h"

namespace sonavelt::app {

// The run's progress on the wizard's InProgress page. Called from the run's
// thread, it never waits for the GUI thread: each call leaves the newest
// state and posts one draw unless one is already on its way, so a burst of
// reports between two paints is drawn once, as its last state. Messages and
// questions still go through the gate and wait for their answer; draws and
// boxes keep the order the run made them in. While the quit question holds
// the gate, the run pauses at its next report.
class QtProgressPanel : public run::ProgressPanel {
 public:
  // controls and gate must outlive the panel; a draw still on its way when
  // the panel goes is made (or dropped with the controls) all the same.
  QtProgressPanel(ProgressControls& controls, GuiCallGate& gate);

  void SetStatusText(const std::string& text) override;
  void SetPosition(int percent) override;
  void SetBarOnly(int percent) override;

 private:
  // What was reported and is not drawn yet; shared with the posted draw.
  struct Pending {
    std::mutex mutex;
    std::optional<std::string> status_text;
    std::optional<int> label_percent;
    std::optional<int> bar_percent;
    bool draw_posted = false;
  };

  void Report(const std::function<void(Pending&)>& update);
  static void Draw(ProgressControls& controls, Pending& pending);

  ProgressControls& controls_;
  GuiCallGate& gate_;
  std::shared_ptr<Pending> pending_ = std::make_shared<Pending>();
};

}  // namespace sonavelt::app
