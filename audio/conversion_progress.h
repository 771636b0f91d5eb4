#pragma once

#include <atomic>
#include <functional>

// How a conversion reports its progress and learns of a cancel.
namespace sonavelt::audio {

// Passed to every conversion by its caller, who owns both parts.
struct ConversionControl {
  // Set (by another thread, or a signal handler) to stop the conversion at
  // its next check; null when the caller never cancels.
  const std::atomic<bool>* cancel_requested = nullptr;
  // Told the percentage of the output written so far, (100 x i) / frames,
  // at each tenth mark i of the output; may be empty. Called on the
  // converting thread.
  std::function<void(int percent)> report_progress;

  bool cancelled() const {
    return cancel_requested != nullptr && cancel_requested->load(std::memory_order_relaxed);
  }
};

// The run's progress bar position for one file's conversion: the converting
// phase spreads positions 6 to 54 over its files (2 per combination without
// background sounds, else 3), each file getting the whole 48 / files points
// its percentage moves through. converted_count is the 1-based number of
// the file being converted. Integer divisions throughout, in this grouping:
//   ((48 / files) * percent) / 100 + ((converted_count - 1) * 48) / files + 6
// e.g. one combination with background, the second file at 50 %: 30.
int ConversionProgressPosition(int percent, int converted_count, int combination_count,
                               bool no_background);

}  // namespace sonavelt::audio
