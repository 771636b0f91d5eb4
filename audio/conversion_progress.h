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

}  // namespace sonavelt::audio
