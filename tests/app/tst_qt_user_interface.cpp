// The wizard's real message boxes: each takes the keyboard focus when it
// opens, even over a modal dialog and when asked for from a worker thread,
// and carries the buttons and icon of its kind.
#include <QtTest>

#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <thread>

#include "app/gui_call_gate.h"
#include "app/qt_user_interface.h"

using namespace sonavelt;

class TestQtUserInterface : public QObject {
  Q_OBJECT

 private:
  struct Seen {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString text;
    QWidget* owner = nullptr;
    bool focused = false;
    int shown_lines = 0;  // lines the box's label takes on screen
  };

  // Once a box shows, records it and presses `key` where the keyboard focus
  // is (not on the box itself: the box must have taken the focus).
  static void AnswerWhenShown(Seen& seen, Qt::Key key) {
    auto* watch = new QTimer;
    watch->setInterval(20);
    QObject::connect(watch, &QTimer::timeout, [watch, &seen, key] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible() || !box->isActiveWindow()) return;
      QWidget* focus = QApplication::focusWidget();
      if (focus == nullptr || focus->window() != box) return;
      watch->stop();
      watch->deleteLater();
      seen.icon = box->icon();
      for (QAbstractButton* button : box->buttons()) seen.buttons << button->text().remove('&');
      seen.buttons.sort();
      seen.text = box->text();
      seen.owner = box->parentWidget();
      seen.focused = true;
      if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        seen.shown_lines = label->heightForWidth(label->width()) / label->fontMetrics().lineSpacing();
      QTest::keyClick(focus, key);
    });
    watch->start();
  }

 private slots:
  // The failure a remote dialog reports from its worker thread while that
  // dialog is modal: the box belongs to the dialog and Return closes it.
  void boxOverAModalDialogTakesTheKeyboard() {
    app::GuiCallGate gate;
    QWidget wizard;
    wizard.resize(300, 200);
    wizard.show();
    app::QtUserInterface ui(&wizard, gate);
    QDialog remote(&wizard);
    remote.setWindowTitle(QStringLiteral("Files On Remote Site"));
    Seen seen;
    bool told = false;
    QTimer::singleShot(50, &remote, [&] {
      AnswerWhenShown(seen, Qt::Key_Return);
      std::thread worker([&] {
        ui.Tell(BoxStyle::kPlain, "Failed to connect to 127.0.0.1 port 1: Couldn't connect to server");
        told = true;
      });
      while (!told) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      worker.join();
      remote.accept();
    });
    QTimer::singleShot(10000, &remote, &QDialog::reject);
    QCOMPARE(remote.exec(), int(QDialog::Accepted));
    QVERIFY(seen.focused);
    QCOMPARE(seen.owner, &remote);
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QCOMPARE(seen.buttons, QStringList{QStringLiteral("OK")});
  }

  // The no-browser message names a path with blanks in it; the box is made
  // wide enough that the path is not broken across lines (the line is wider
  // than a message box would be by itself on the 800-pixel offscreen screen).
  void longLinesAreNotWrapped() {
    app::GuiCallGate gate;
    app::QtUserInterface ui(nullptr, gate);
    Seen seen;
    AnswerWhenShown(seen, Qt::Key_Return);
    ui.Tell(BoxStyle::kSystemModal,
            "Sonavelt could not locate neither firefox nor chromium.\r\n"
            "Please open the link: /home/alice/HISTORY/HIS_my home page.htm by yourself.");
    QVERIFY(seen.focused);
    QCOMPARE(seen.shown_lines, 2);
  }

  void kinds_data() {
    QTest::addColumn<int>("kind");  // -1: a message (Tell)
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QStringList>("buttons");
    const QStringList yes_no{QStringLiteral("No"), QStringLiteral("Yes")};
    const QStringList ok_cancel{QStringLiteral("Cancel"), QStringLiteral("OK")};
    QTest::newRow("system-modal message, Space")
        << -1 << int(Qt::Key_Space) << true << int(QMessageBox::NoIcon) << QStringList{QStringLiteral("OK")};
    QTest::newRow("question, Return is Yes")
        << int(QuestionKind::kYesNo) << int(Qt::Key_Return) << true << int(QMessageBox::Question) << yes_no;
    QTest::newRow("question, Escape is No")
        << int(QuestionKind::kYesNo) << int(Qt::Key_Escape) << false << int(QMessageBox::Question) << yes_no;
    QTest::newRow("low disk: stop icon")
        << int(QuestionKind::kYesNoStop) << int(Qt::Key_Return) << true << int(QMessageBox::Critical) << yes_no;
    QTest::newRow("find it again: OK and Cancel")
        << int(QuestionKind::kOkCancel) << int(Qt::Key_Escape) << false << int(QMessageBox::NoIcon) << ok_cancel;
  }
  void kinds() {
    QFETCH(int, kind);
    QFETCH(int, key);
    QFETCH(bool, answer);
    QFETCH(int, icon);
    QFETCH(QStringList, buttons);
    app::GuiCallGate gate;
    QWidget wizard;
    wizard.show();
    app::QtUserInterface ui(&wizard, gate);
    Seen seen;
    AnswerWhenShown(seen, Qt::Key(key));
    bool got = true;
    if (kind < 0) {
      ui.Tell(BoxStyle::kSystemModal, "Disk is full.\r\nSecond line.");
    } else {
      got = ui.AskAs(QuestionKind(kind), BoxStyle::kSystemModal, "Really?");
    }
    QVERIFY(seen.focused);
    QCOMPARE(got, answer);
    QCOMPARE(int(seen.icon), icon);
    QCOMPARE(seen.buttons, buttons);
    if (kind < 0) QCOMPARE(seen.text, QStringLiteral("Disk is full.\nSecond line."));
  }
};

QTEST_MAIN(TestQtUserInterface)
#include "tst_qt_user_interface.moc"
