#pragma once

#include <atomic>

// A front end's request that its run stop. The front end owns it, sets it
// from any thread (a confirmed Cancel or quit, Ctrl-C) and withdraws it
// before its next run; it lends it to the run, which only reads it: at its
// checkpoints, and through flag() in the conversions, transfers and lock
// waits it starts, which see it within a second.
namespace sonavelt::run {

class StopRequest {
 public:
  void Request() { flag_.store(true); }
  void Withdraw() { flag_.store(false); }
  bool requested() const { return flag_.load(std::memory_order_relaxed); }

  // The flag itself, for the layers below the run that poll a plain atomic.
  const std::atomic<bool>* flag() const { return &flag_; }
  // For a signal handler, which may only store to a lock-free atomic.
  std::atomic<bool>* flag_for_signals() { return &flag_; }

 private:
  std::atomic<bool> flag_{false};
};

}  // namespace sonavelt::run
