#pragma once

#include <QObject>

#include <condition_variable>
#include <functional>
#include <mutex>

namespace sonavelt::app {

// Carries calls from the run's worker thread to the GUI thread and blocks the
// worker until the GUI has carried them out: the messages and questions that
// need an answer. (Progress does not come through here: it is posted without
// waiting, see QtProgressPanel.) While the gate is held (the quit question is
// open), a worker's call, and its progress report, waits on the worker's
// side until the gate is released, so the run pauses at its next report
// exactly as if its thread were suspended, and the GUI thread stays free to
// repaint and to take the answer.
class GuiCallGate : public QObject {
  Q_OBJECT

 public:
  explicit GuiCallGate(QObject* parent = nullptr);

  // Runs call on the GUI thread (directly when already there) and returns
  // when it has run. The gate must live on the GUI thread.
  void Call(const std::function<void()>& call);

  // Returns once the gate is not held; at once on the GUI thread. For worker
  // reports that do not need the GUI thread to wait for them.
  void WaitWhileHeld();

  // Holding the gate makes worker calls wait; calls made from the GUI thread
  // itself are not held back. Both are called on the GUI thread.
  void Hold();
  void Release();

 private:
  bool Held();

  std::mutex mutex_;
  std::condition_variable released_;
  bool held_ = false;
};

}  // namespace sonavelt::app
