#pragma once

#include <string>

#include "run/run_progress.h"
#include "run/run_state.h"
#include "transport/page_transport.h"

namespace sonavelt::run {

// A remote transfer's reports in the run's terms: each file moves the bar
// once (a repeat after a failure shows the same step again), the site is
// the files' destination, and the run's quit flag cancels the transfer.
// `progress` and `state` must outlive it.
class TransferProgress : public TransferObserver {
 public:
  TransferProgress(RunProgress& progress, RunState& state, std::string site)
      : progress_(progress), state_(state), site_(std::move(site)) {}

  void ReportTransferring(const std::string& file, bool repeat) override;
  void SetProgressText(const std::string& text) override { progress_.SetStatusText(text); }
  bool CancelRequested() override { return state_.cancel_requested.load(); }
  const std::atomic<bool>* CancelFlag() override { return &state_.cancel_requested; }

 private:
  RunProgress& progress_;
  RunState& state_;
  std::string site_;
};

}  // namespace sonavelt::run
