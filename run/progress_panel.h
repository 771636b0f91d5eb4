#pragma once

#include <string>

namespace sonavelt::run {

// The run's progress display: a multi-line status text, a percentage label
// and a bar from 0 to 100. The wizard shows it on its progress page, the
// command line on standard error, tests record it. Called from the run's
// thread; an implementation that draws on another thread hands the call
// over and may return before it is drawn, and reports that come faster than
// it draws may be drawn as one, the newest. Texts use "\r\n" line ends.
class ProgressPanel {
 public:
  virtual ~ProgressPanel() = default;
  virtual void SetStatusText(const std::string& text) = 0;
  // Bar and label ("<percent>%") together.
  virtual void SetPosition(int percent) = 0;
  // The bar alone, label unchanged: only at the start of a run.
  virtual void SetBarOnly(int percent) = 0;
};

}  // namespace sonavelt::run
