#pragma once

#include <string>
#include <vector>

#include "run/progress_panel.h"

namespace sonavelt::testing {

// A ProgressPanel that records every call, in order per kind.
class RecordingProgressPanel : public run::ProgressPanel {
 public:
  void SetStatusText(const std::string& text) override { texts.push_back(text); }
  void SetPosition(int percent) override { positions.push_back(percent); }
  void SetBarOnly(int percent) override { bar_only.push_back(percent); }

  std::vector<std::string> texts;  // status texts
  std::vector<int> positions;      // bar and label together
  std::vector<int> bar_only;       // the bar alone
};

}  // namespace sonavelt::testing
