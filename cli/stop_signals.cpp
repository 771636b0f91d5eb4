#include "cli/stop_signals.h"

#include <csignal>

namespace sonavelt::cli {
namespace {

std::atomic<bool>* g_stop = nullptr;
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnStopSignal(int) {
  if (g_stop != nullptr) g_stop->store(true);
}

void Catch(bool on) {
  struct sigaction action {};
  action.sa_handler = on ? OnStopSignal : SIG_DFL;
  action.sa_flags = on ? SA_RESETHAND : 0;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

StopSignals::StopSignals(std::atomic<bool>* flag) {
  g_stop = flag;
  Catch(true);
}

StopSignals::~StopSignals() {
  Catch(false);
  g_stop = nullptr;
}

}  // namespace sonavelt::cli
