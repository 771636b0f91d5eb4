// The wizard's progress panel, reported to from a worker thread: the worker
// never waits for the GUI thread, a burst of reports is drawn once as its
// last state, and the quit question's hold still pauses the worker at its
// next report.
#include <QtTest>

#include <QLabel>
#include <QProgressBar>
#include <QThread>

#include <atomic>
#include <memory>

#include "app/gui_call_gate.h"
#include "app/page_widgets.h"
#include "app/qt_progress_panel.h"

using sonavelt::app::GuiCallGate;
using sonavelt::app::ProgressControls;
using sonavelt::app::QtProgressPanel;

class TestQtProgressPanel : public QObject {
  Q_OBJECT

 private slots:
  void burstDoesNotWaitForTheGuiAndItsLastStateIsDrawn() {
    GuiCallGate gate;
    ProgressControls controls;
    controls.Reset();
    controls.show();
    QSignalSpy bar_changes(controls.bar(), &QProgressBar::valueChanged);
    constexpr int kTicks = 20000;
    QThread* worker = QThread::create([&] {
      QtProgressPanel panel(controls, gate);
      panel.SetBarOnly(1);
      for (int i = 0; i < kTicks; ++i) {
        panel.SetStatusText("Converting:\r\n\ttick " + std::to_string(i));
        panel.SetPosition(i % 100);
      }
      panel.SetStatusText("Transferring:\r\n\tlast.au");
      panel.SetPosition(99);
      panel.SetBarOnly(100);
    });
    worker->start();
    // The GUI thread runs no events here: a report that waited for it would
    // never return.
    QVERIFY2(worker->wait(30000), "a progress report waited for the GUI thread");
    delete worker;  // the panel is gone too; its draw is still on its way
    QCOMPARE(controls.bar()->value(), 0);  // nothing drawn yet

    QCoreApplication::processEvents();
    QCOMPARE(controls.bar()->value(), 100);
    QCOMPARE(controls.percent_label()->text(), QStringLiteral("99%"));
    QVERIFY(controls.status_label()->text().contains(QStringLiteral("last.au")));
    QVERIFY(!controls.status_label()->text().contains(QStringLiteral("tick")));
    // The whole burst came while the GUI thread was busy: one draw.
    QCOMPARE(bar_changes.count(), 1);
  }

  void heldGatePausesTheWorkerAtItsNextReport() {
    GuiCallGate gate;
    ProgressControls controls;
    controls.Reset();
    std::atomic<int> reports{0};
    gate.Hold();
    QThread* worker = QThread::create([&] {
      QtProgressPanel panel(controls, gate);
      panel.SetPosition(40);
      ++reports;
    });
    worker->start();
    QTest::qWait(300);  // events flow (as under an open question), the report waits
    QCOMPARE(reports.load(), 0);
    QVERIFY(worker->isRunning());
    QCOMPARE(controls.bar()->value(), 0);
    gate.Release();
    QVERIFY(worker->wait(5000));
    delete worker;
    QCOMPARE(reports.load(), 1);
    QTRY_COMPARE(controls.bar()->value(), 40);
  }
};

QTEST_MAIN(TestQtProgressPanel)
#include "tst_qt_progress_panel.moc"
