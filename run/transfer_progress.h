#pragma once

#include <string>

#include "run/run_progress.h"
#include "run/stop_request.h"
#include "transport/page_transport.h"

namespace sonavelt::run {

// A remote transfer's reports in the run's terms: each file moves the bar
// once (a repeat after a failure shows the same step again), the site is
// the files' destination, and the front end's stop request cancels the
// transfer. `progress` and `stop` must outlive it.
class TransferProgress : public TransferObserver {
 public:
  TransferProgress(RunProgress& progress, const StopRequest& stop, std::string site)
      : progress_(progress), stop_(stop), site_(std::move(site)) {}

  void ReportTransferring(const std::string& file, bool repeat) override;
  void SetProgressText(const std::string& text) override { progress_.SetStatusText(text); }
  bool CancelRequested() override { return stop_.requested(); }
  const std::atomic<bool>* CancelFlag() override { return stop_.flag(); }

 private:
  RunProgress& progress_;
  const StopRequest& stop_;
  std::string site_;
};

}  // namespace sonavelt::run
