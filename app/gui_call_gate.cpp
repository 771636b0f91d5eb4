#include "app/gui_call_gate.h"

#include <QEventLoop>
#include <QThread>

namespace sonavelt::app {

GuiCallGate::GuiCallGate(QObject* parent) : QObject(parent) {}

void GuiCallGate::Call(const std::function<void()>& call) {
  if (QThread::currentThread() == thread()) {
    call();
    return;
  }
  QMetaObject::invokeMethod(
      this,
      [this, &call] {
        WaitUntilReleased();
        call();
      },
      Qt::BlockingQueuedConnection);
}

void GuiCallGate::Hold() { held_ = true; }

void GuiCallGate::Release() {
  held_ = false;
  emit released();
}

void GuiCallGate::WaitUntilReleased() {
  // A call delivered by the quit question's own event loop lands here: wait
  // for the answer in a loop of our own so the worker stays blocked.
  while (held_) {
    QEventLoop loop;
    connect(this, &GuiCallGate::released, &loop, &QEventLoop::quit);
    loop.exec();
  }
}

}  // namespace sonavelt::app
