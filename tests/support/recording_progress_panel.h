#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "run/progress_panel.h"

namespace sonavelt::testing {

// A ProgressPanel that records every call, in order per kind.
class RecordingProgressPanel : public run::ProgressPanel {
 public:
  void SetStatusText(const std::string& text) override {
    texts.push_back(text);
    times.push_back(std::chrono::steady_clock::now());
  }
  void SetPosition(int percent) override {
    positions.push_back(percent);
    times.push_back(std::chrono::steady_clock::now());
    position_times.push_back(times.back());
  }
  void SetBarOnly(int percent) override {
    bar_only.push_back(percent);
    times.push_back(std::chrono::steady_clock::now());
  }

  std::vector<std::string> texts;  // status texts
  std::vector<int> positions;      // bar and label together
  std::vector<int> bar_only;       // the bar alone
  std::vector<std::chrono::steady_clock::time_point> times;  // of every call, in order
  std::vector<std::chrono::steady_clock::time_point> position_times;  // of each of positions
};

}  // namespace sonavelt::testing
