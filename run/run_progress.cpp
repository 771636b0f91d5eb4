#include "run/run_progress.h"

#include "base/text.h"

namespace sonavelt::run {

RunProgress::RunProgress(ProgressPanel& panel, RunState& state, int combination_count,
                         bool no_background, bool is_remote, bool browser_player)
    : panel_(panel),
      state_(state),
      files_per_phase_(combination_count * (no_background ? 2 : 3)),
      transfer_steps_(files_per_phase_ + (is_remote ? 3 : 2) + (browser_player ? 1 : 0)) {
  if (files_per_phase_ < 1) files_per_phase_ = 1;  // never divide by zero on bad input
}

void RunProgress::Start() {
  panel_.SetBarOnly(0);
  panel_.SetStatusText("Preparing:\r\n");
  prepared_count_ = 0;
}

void RunProgress::Show(int position, const std::string& text) {
  panel_.SetStatusText(text);
  panel_.SetPosition(position);
}

void RunProgress::ReportPreparing(const std::string& sound_path) {
  int position = prepared_count_ * 6 / files_per_phase_;
  Show(position, "Preparing:\r\n\r\n\t" + FileNameOfPath(sound_path));
  ++prepared_count_;
}

void RunProgress::ReportConverting(const std::string& sound_path, const std::string& placed_name) {
  int position = state_.converted_count * 48 / files_per_phase_ + 6;
  Show(position, "Converting:\r\n\r\n\t" + FileNameOfPath(sound_path) + "\r\n\r\nTo:\r\n\t" +
                     placed_name);
  ++state_.converted_count;
}

void RunProgress::ReportTransferring(const std::string& file, const std::string& destination) {
  int position = transferred_count_ * 30 / transfer_steps_ + 69;
  Show(position,
       "Transferring:\r\n\r\n\t" + FileNameOfPath(file) + "\r\n\r\nTo:\r\n\t" + destination);
  ++transferred_count_;
}

}  // namespace sonavelt::run
