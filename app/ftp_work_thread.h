#pragma once

#include <QThread>

#include <functional>

class QObject;

namespace sonavelt::app {

// The thread a dialog does its FTP work on: the connecting and the listings
// block it, not the GUI thread, which keeps repainting meanwhile. The FTP
// objects of the dialog are made, used and destroyed by jobs on this one
// thread, so none of them crosses threads.
class FtpWorkThread {
 public:
  FtpWorkThread();
  // Stops the thread (after the job that runs, if any).
  ~FtpWorkThread();
  FtpWorkThread(const FtpWorkThread&) = delete;
  FtpWorkThread& operator=(const FtpWorkThread&) = delete;

  // Runs `job` on the thread and returns once it has run. Meanwhile the
  // calling (GUI) thread goes on handling events but user input, which waits
  // until the job is done: messages that the job shows through the
  // user interface, and the status line's texts, come through.
  void RunAndWait(const std::function<void()>& job);
  // Runs `job` on the thread and blocks the caller until it has run, with no
  // event handling (for destructors).
  void RunBlocking(const std::function<void()>& job);

 private:
  QThread thread_;
  QObject* context_;  // lives on thread_; jobs are delivered to it
};

}  // namespace sonavelt::app
