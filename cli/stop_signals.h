#pragma once

#include <atomic>

// Ctrl-C and SIGTERM for a command that works on a page: the first signal
// sets the command's stop flag, which its work reads at its checkpoints and
// unwinds from through the same clean-up as any failure; the handler is
// reset on that first call, so a second signal ends the program at once.
namespace sonavelt::cli {

// While alive, the two signals set *flag (which must outlive the object).
class StopSignals {
 public:
  explicit StopSignals(std::atomic<bool>* flag);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
};

}  // namespace sonavelt::cli
