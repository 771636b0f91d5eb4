// Calls from the run's thread land on the GUI thread, and wait while the
// quit question holds the gate.
#include <QtTest>

#include <QThread>

#include <atomic>

#include "app/gui_call_gate.h"

using sonavelt::app::GuiCallGate;

class TestGuiCallGate : public QObject {
  Q_OBJECT

 private slots:
  void workerCallsRunOnTheGuiThreadAndBlock() {
    GuiCallGate gate;
    QThread* ran_on = nullptr;
    std::atomic<bool> returned{false};
    QThread* worker = QThread::create([&] {
      gate.Call([&] { ran_on = QThread::currentThread(); });
      returned = true;
    });
    worker->start();
    QTRY_VERIFY(returned);
    QCOMPARE(ran_on, QThread::currentThread());
    worker->wait();
    delete worker;
  }

  void heldGateMakesTheWorkerWait() {
    GuiCallGate gate;
    std::atomic<int> calls{0};
    gate.Hold();
    // A call from the GUI thread itself (the question's own box) is not held.
    gate.Call([&] { ++calls; });
    QCOMPARE(calls.load(), 1);

    QThread* worker = QThread::create([&] { gate.Call([&] { ++calls; }); });
    worker->start();
    QTest::qWait(300);  // events flow (as under an open question), the call waits
    QCOMPARE(calls.load(), 1);
    QVERIFY(worker->isRunning());
    gate.Release();
    QTRY_COMPARE(calls.load(), 2);
    QVERIFY(worker->wait(5000));
    delete worker;
  }
};

QTEST_MAIN(TestGuiCallGate)
#include "tst_gui_call_gate.moc"
