#pragma once

#include <functional>
#include <string>

#include "run/progress_panel.h"

// What the progress display shows during a run. The bar is shared out among
// the phases (kProgress). Each reporter works out its position, shows its
// status text and position, then counts its step, so the first step of a
// phase shows the phase's start.
namespace sonavelt::run {

// A stretch of the progress bar, in percent: a phase moves the bar from
// `start` towards `end`, and shows `end` when it is finished.
struct ProgressSpan {
  int start;
  int end;
  constexpr int size() const { return end - start; }
};

// The bar's share for each phase of a run, in the order they come. The page
// phases between converting and transferring are single points.
struct RunProgressTable {
  ProgressSpan preparing{0, 6};
  ProgressSpan converting{6, 54};
  int page_read = 59;
  int page_edited = 64;
  int resource_file_made = 69;
  ProgressSpan transferring{69, 99};
  int done = 100;
};
inline constexpr RunProgressTable kProgress;

// The bar's position for one file's conversion: the converting span is
// spread over the run's files (2 per combination without background sounds,
// else 3), each file getting the whole size / files points its percentage
// moves through. converted_count is the 1-based number of the file being
// converted. Integer divisions throughout, in this grouping:
//   ((48 / files) * percent) / 100 + ((converted_count - 1) * 48) / files + 6
// (48 and 6: the converting span's size and start), e.g. one combination
// with background, the second file at 50 %: 30.
int ConversionProgressPosition(int percent, int converted_count, int combination_count,
                               bool no_background);

// The bar's position `permille` thousandths of the way through the
// converting span, for a run whose span is shared out by work (the browser
// copies' BrowserCopyMaker counts it).
int ConvertingShareProgressPosition(int permille);

class RunProgress {
 public:
  // N combinations, 2 sounds each without background sound, 3 with; a remote
  // page has one transfer more (the page itself), and so has a run with the
  // browser player (its script).
  RunProgress(ProgressPanel& panel, int combination_count, bool no_background, bool is_remote,
              bool browser_player = false);

  // The run's start: bar to 0 (the label is left as it is), "Preparing:\r\n",
  // the preparing count back to 0.
  void Start();
  void SetStatusText(const std::string& text) { panel_.SetStatusText(text); }
  // One of the run's fixed points (kProgress).
  void SetFixedProgress(int percent) { panel_.SetPosition(percent); }

  // One sound checked: preparedCount x 6 / (N x k) (the preparing span).
  void ReportPreparing(const std::string& sound_path);
  // Converting starts: the converted count back to 0.
  void StartConverting() { converted_count_ = 0; }
  // One sound converted (or, for an .au sound, taken as it is) into the
  // file `placed_name` (the name the run gave it, audio::SoundNames):
  // convertedCount x 48 / (N x k) + 6 (the converting span).
  void ReportConverting(const std::string& sound_path, const std::string& placed_name);
  // The sound of the last ReportConverting is `percent` converted: the bar
  // within its share (ConversionProgressPosition).
  void ReportConversionPercent(int percent);
  // From here on ReportConverting places the bar at the work done
  // (ConvertingShareProgressPosition of `permille`) instead of counting
  // files: a run that makes browser copies, most of its converting work.
  void ShareConvertingByWork(std::function<int()> permille) { work_share_ = std::move(permille); }
  // Transferring starts: the transfer count back to 0.
  void StartTransferring() { transferred_count_ = 0; }
  // One file copied or uploaded: transferredCount x 30 / D + 69 (the
  // transferring span), D being
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
  int combination_count_;  // N
  bool no_background_;
  int files_per_phase_;  // N x k
  int transfer_steps_;   // D
  int prepared_count_ = 0;
  int converted_count_ = 0;  // the sound being converted is number converted_count_, from 1
  int transferred_count_ = 0;
  std::function<int()> work_share_;
};

}  // namespace sonavelt::run
