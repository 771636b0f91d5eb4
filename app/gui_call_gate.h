#pragma once

#include <QObject>

#include <functional>

namespace sonavelt::app {

// Carries calls from the run's worker thread to the GUI thread and blocks the
// worker until the GUI has carried them out. While the gate is held (the quit
// question is open), a call that arrives waits on the GUI side until the gate
// is released, so the run pauses at its next report exactly as if its thread
// were suspended; the window keeps repainting meanwhile.
class GuiCallGate : public QObject {
  Q_OBJECT

 public:
  explicit GuiCallGate(QObject* parent = nullptr);

  // Runs call on the GUI thread (directly when already there) and returns
  // when it has run. The gate must live on the GUI thread.
  void Call(const std::function<void()>& call);

  // Holding the gate makes worker calls wait; calls made from the GUI thread
  // itself are not held back.
  void Hold();
  void Release();
  bool held() const { return held_; }

 signals:
  void released();

 private:
  void WaitUntilReleased();

  bool held_ = false;
};

}  // namespace sonavelt::app
