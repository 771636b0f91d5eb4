#include "app/ftp_work_thread.h"

#include <QEventLoop>
#include <QObject>

namespace sonavelt::app {

FtpWorkThread::FtpWorkThread() : context_(new QObject) {
  context_->moveToThread(&thread_);
  thread_.start();
}

FtpWorkThread::~FtpWorkThread() {
  thread_.quit();
  thread_.wait();
  delete context_;
}

void FtpWorkThread::RunAndWait(const std::function<void()>& job) {
  QEventLoop loop;
  QMetaObject::invokeMethod(context_, [&job, &loop] {
    job();
    // Queued: the loop may not have started yet; it quits once it runs.
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void FtpWorkThread::RunBlocking(const std::function<void()>& job) {
  QMetaObject::invokeMethod(context_, [&job] { job(); }, Qt::BlockingQueuedConnection);
}

}  // namespace sonavelt::app
