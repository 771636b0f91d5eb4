#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

// How a conversion reports its progress and learns of a cancel.
namespace sonavelt::audio {

// Receives a sound as a conversion decodes it, so that another use of the
// same samples (the browser copy) needs no second decoding. Called on the
// converting thread: Begin once before any block, then Frames for every
// block in order. A conversion that fails or is cancelled may stop part
// way; the receiver then has part of the sound and must not use it.
class DecodedSoundSink {
 public:
  virtual ~DecodedSoundSink() = default;
  // The sound's channel count and rate, and the frame count its file
  // states (an estimate for MP3, 0 when unknown).
  virtual void Begin(int channels, int sample_rate, int64_t stated_frames) = 0;
  // `count` frames of interleaved floats in -1..1, exactly what libsndfile
  // gives for the same file (16-bit: s / 32768; 8-bit: (byte - 128) / 128).
  virtual void Frames(const float* samples, int64_t count) = 0;
};

// Passed to every conversion by its caller, who owns both parts.
struct ConversionControl {
  // Set (by another thread, or a signal handler) to stop the conversion at
  // its next check; null when the caller never cancels.
  const std::atomic<bool>* cancel_requested = nullptr;
  // A second flag read the same way, for an owner that stops work it
  // started itself (the browser copies of a run that stops early).
  const std::atomic<bool>* stop_requested = nullptr;
  // Told the percentage of the output written so far, (100 x i) / frames,
  // at each tenth mark i of the output; may be empty. Called on the
  // converting thread.
  std::function<void(int percent)> report_progress;
  // Given every decoded frame when set; a conversion that copies a file as
  // it is decodes nothing and never calls it.
  DecodedSoundSink* decoded = nullptr;

  bool cancelled() const {
    return (cancel_requested != nullptr && cancel_requested->load(std::memory_order_relaxed)) ||
           (stop_requested != nullptr && stop_requested->load(std::memory_order_relaxed));
  }
};

}  // namespace sonavelt::audio
