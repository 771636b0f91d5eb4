#pragma once

#include <cstdint>

// The rate change to the player's 8000 Hz: a drop-sample resampler without
// filtering or interpolation, driven by a double-precision time accumulator.
namespace sonavelt::audio {

inline constexpr int kAuSampleRate = 8000;

// Decides, input sample by input sample, how many copies of it go out.
// Each input adds its duration to the accumulator; while the accumulated
// time is strictly greater than one output period, one output is taken and
// a period subtracted. From above the target rate that keeps at most one
// sample per input (from 22050 Hz the kept indices begin 2, 5, 8, 11, 13,
// 16, 19; from 16000 Hz every second one from index 1, two inputs summing
// to exactly one period, which is not greater). Below the target rate a
// sample is repeated, so the sound keeps its length.
class RateChanger {
 public:
  RateChanger(int source_rate, int target_rate)
      : step_in_(1.0 / source_rate), step_out_(1.0 / target_rate) {}

  // Outputs for the next input sample: 0 or 1 from a higher source rate,
  // 0 or more from a lower one.
  int Next() {
    acc_ += step_in_;
    int copies = 0;
    while (acc_ > step_out_) {
      acc_ -= step_out_;
      ++copies;
    }
    return copies;
  }

  // For inlined loops that keep the accumulator in a register.
  double step_in() const { return step_in_; }
  double step_out() const { return step_out_; }
  double acc() const { return acc_; }
  void set_acc(double acc) { acc_ = acc; }

 private:
  double step_in_;
  double step_out_;
  double acc_ = 0.0;
};

// Upper bound of the outputs for `frames` inputs, from any accumulator
// state: frames x target / source, plus `slack` for the accumulator's
// carry-in and rounding (2 is enough; a whole sound gets more so that the
// bounds of its pieces, each with 2, fit in the whole's).
inline uint64_t MaxRateChangeOutputs(uint64_t frames, int source_rate, int target_rate,
                                     uint64_t slack = 16) {
  if (source_rate >= target_rate) {
    uint64_t estimate =
        static_cast<uint64_t>(static_cast<double>(target_rate) / source_rate * static_cast<double>(frames)) +
        slack;
    return estimate < frames ? estimate : frames;
  }
  return frames * static_cast<uint64_t>((target_rate + source_rate - 1) / source_rate) + slack;
}

}  // namespace sonavelt::audio
