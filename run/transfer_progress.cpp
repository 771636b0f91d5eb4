#include "run/transfer_progress.h"

namespace sonavelt::run {

void TransferProgress::ReportTransferring(const std::string& file, bool repeat) {
  // Each file moves the bar once, however often it is sent.
  if (repeat) progress_.RepeatTransfer();
  progress_.ReportTransferring(file, site_);
}

}  // namespace sonavelt::run
