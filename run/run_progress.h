#pragma once

#include <string>

#include "run/progress_panel.h"
#include "run/run_state.h"

// What the progress display shows during a run. The bar is shared out among
// the phases: preparing 0 to 6, converting 6 to 54, reading the page 59,
// writing it 64, the resource file 69, transferring 69 to 99, the end 100.
// Each reporter works out its position, shows its status text and position,
// then counts its step, so the first step of a phase shows the phase's start.
namespace sonavelt::run {

class RunProgress {
 public:
  // N combinations, 2 sounds each without background sound, 3 with; a remote
  // page has one transfer more (the page itself), and so has a run with the
  // browser player (its script).
  RunProgress(ProgressPanel& panel, RunState& state, int combination_count, bool no_background,
              bool is_remote, bool browser_player = false);

  // The run's start: bar to 0 (the label is left as it is), "Preparing:\r\n",
  // the preparing count back to 0.
  void Start();
  void SetStatusText(const std::string& text) { panel_.SetStatusText(text); }
  // One of the run's fixed points (6, 54, 59, 64, 69, 99, 100).
  void SetFixedProgress(int percent) { panel_.SetPosition(percent); }

  // One sound checked: preparedCount x 6 / (N x k).
  void ReportPreparing(const std::string& sound_path);
  // One sound converted (or, for an .au sound, taken as it is) into the
  // file `placed_name` (the name the run gave it, audio::SoundNames):
  // convertedCount x 48 / (N x k) + 6. The count lives in RunState because
  // the conversion moves the bar within the step from it.
  void ReportConverting(const std::string& sound_path, const std::string& placed_name);
  // Transferring starts: the transfer count back to 0.
  void StartTransferring() { transferred_count_ = 0; }
  // One file copied or uploaded: transferredCount x 30 / D + 69, D being
  // k x N + 2 (local) or k x N + 3 (remote), plus one with the browser
  // player. `destination` is the page's folder or the remote site.
  void ReportTransferring(const std::string& file, const std::string& destination);
  // An upload about to be repeated shows the same position again.
  void RepeatTransfer() {
    if (transferred_count_ > 0) --transferred_count_;
  }

  int files_per_phase() const { return files_per_phase_; }

 private:
  void Show(int position, const std::string& text);

  ProgressPanel& panel_;
  RunState& state_;
  int files_per_phase_;  // N x k
  int transfer_steps_;   // D
  int prepared_count_ = 0;
  int transferred_count_ = 0;
};

}  // namespace sonavelt::run
