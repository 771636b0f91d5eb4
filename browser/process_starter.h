#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace sonavelt::browser {

// Starts programs with an argument list, never through a shell.
class ProcessStarter {
 public:
  virtual ~ProcessStarter() = default;
  // Starts args[0] (looked up on PATH when it holds no '/') with args as its
  // argument vector. True when the program was started and did not fail at
  // once: a program that ends with a non-zero status within the starter's
  // grace period (an opener without a handler, a browser that cannot open a
  // display) counts as not started.
  virtual bool Start(const std::vector<std::string>& args) = 0;
};

// The real starter: posix_spawnp. It waits up to grace for an early exit;
// a program still running then is left to run, and reaped in the background
// when it ends.
class SpawnProcessStarter : public ProcessStarter {
 public:
  explicit SpawnProcessStarter(std::chrono::milliseconds grace = std::chrono::milliseconds(1500))
      : grace_(grace) {}
  bool Start(const std::vector<std::string>& args) override;

 private:
  std::chrono::milliseconds grace_;
};

}  // namespace sonavelt::browser
