#include "app/gui_call_gate.h"

#include <QThread>

namespace sonavelt::app {

GuiCallGate::GuiCallGate(QObject* parent) : QObject(parent) {}

void GuiCallGate::Call(const std::function<void()>& call) {
  if (QThread::currentThread() == thread()) {
    call();
    return;
  }
  for (;;) {
    WaitWhileHeld();
    // The gate may be taken between the wait and the call's arrival; the
    // call then comes back undone and waits again. The GUI side never blocks
    // in a loop of its own: a nested wait under the question's box could not
    // unwind when the box closes.
    bool ran = false;
    QMetaObject::invokeMethod(
        this,
        [this, &call, &ran] {
          if (Held()) return;
          call();
          ran = true;
        },
        Qt::BlockingQueuedConnection);
    if (ran) return;
  }
}

void GuiCallGate::WaitWhileHeld() {
  if (QThread::currentThread() == thread()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  released_.wait(lock, [this] { return !held_; });
}

bool GuiCallGate::Held() {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_;
}

void GuiCallGate::Hold() {
  std::lock_guard<std::mutex> lock(mutex_);
  held_ = true;
}

void GuiCallGate::Release() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = false;
  }
  released_.notify_all();
}

}  // namespace sonavelt::app
