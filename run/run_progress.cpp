#include "run/run_progress.h"

#include "base/text.h"

namespace sonavelt::run {

RunProgress::RunProgress(ProgressPanel& panel, int combination_count, bool no_background,
                         bool is_remote, bool browser_player)
    : panel_(panel),
      combination_count_(combination_count),
      no_background_(no_background),
      files_per_phase_(combination_count * (no_background ? 2 : 3)),
      transfer_steps_(files_per_phase_ + (is_remote ? 3 : 2) + (browser_player ? 1 : 0)) {
  if (files_per_phase_ < 1) files_per_phase_ = 1;  // never divide by zero on bad input
}

int ConversionProgressPosition(int percent, int converted_count, int combination_count,
                               bool no_background) {
  constexpr ProgressSpan span = kProgress.converting;
  const int files = (no_background ? 2 : 3) * combination_count;
  if (files <= 0) return span.start;
  const int k = converted_count - 1;
  return ((span.size() / files) * percent) / 100 + (k * span.size()) / files + span.start;
}

int ConvertingShareProgressPosition(int permille) {
  constexpr ProgressSpan span = kProgress.converting;
  return span.start + span.size() * permille / 1000;
}

void RunProgress::Start() {
  panel_.SetBarOnly(kProgress.preparing.start);
  panel_.SetStatusText("Preparing:\r\n");
  prepared_count_ = 0;
}

void RunProgress::Show(int position, const std::string& text) {
  panel_.SetStatusText(text);
  panel_.SetPosition(position);
}

void RunProgress::ReportPreparing(const std::string& sound_path) {
  int position = prepared_count_ * kProgress.preparing.size() / files_per_phase_ +
                 kProgress.preparing.start;
  Show(position, "Preparing:\r\n\r\n\t" + FileNameOfPath(sound_path));
  ++prepared_count_;
}

void RunProgress::ReportConverting(const std::string& sound_path, const std::string& placed_name) {
  int position = work_share_ ? ConvertingShareProgressPosition(work_share_())
                             : converted_count_ * kProgress.converting.size() /
                                       files_per_phase_ +
                                   kProgress.converting.start;
  Show(position, "Converting:\r\n\r\n\t" + FileNameOfPath(sound_path) + "\r\n\r\nTo:\r\n\t" +
                     placed_name);
  ++converted_count_;
}

void RunProgress::ReportConversionPercent(int percent) {
  panel_.SetPosition(
      ConversionProgressPosition(percent, converted_count_, combination_count_, no_background_));
}

void RunProgress::ReportTransferring(const std::string& file, const std::string& destination) {
  int position = transferred_count_ * kProgress.transferring.size() / transfer_steps_ +
                 kProgress.transferring.start;
  Show(position,
       "Transferring:\r\n\r\n\t" + FileNameOfPath(file) + "\r\n\r\nTo:\r\n\t" + destination);
  ++transferred_count_;
}

}  // namespace sonavelt::run
