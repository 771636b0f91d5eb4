// The wizard's real message boxes: each takes the keyboard focus when it
// opens, even over a modal dialog and when asked for from a worker thread,
// and carries the buttons and icon of its kind.
#include <QtTest>

#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>

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
    QString details;      // the details area's text
    bool details_open = false;
    int height = 0;
  };

  // Once a box shows, records it and presses `key` where the keyboard focus
  // is (not on the box itself: the box must have taken the focus).
  // With `click` set, clicks the button of that text instead.
  static void AnswerWhenShown(Seen& seen, Qt::Key key, QString click = {}) {
    auto* watch = new QTimer;
    watch->setInterval(20);
    QObject::connect(watch, &QTimer::timeout, [watch, &seen, key, click] {
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
      seen.details = box->detailedText();
      for (QTextEdit* area : box->findChildren<QTextEdit*>()) seen.details_open |= area->isVisible();
      seen.height = box->height();
      for (QAbstractButton* button : box->buttons()) {
        if (!click.isEmpty() && button->text().remove('&') == click) {
          button->click();
          return;
        }
      }
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

  // The format question of one sound among several: the answers for all
  // are offered only while more sounds wait.
  void seriesQuestion_data() {
    QTest::addColumn<bool>("more");
    QTest::addColumn<QString>("click");  // empty: press the key
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("buttons");
    const QStringList two{QStringLiteral("No"), QStringLiteral("Yes")};
    const QStringList four{QStringLiteral("No"), QStringLiteral("No to All"), QStringLiteral("Yes"),
                           QStringLiteral("Yes to All")};
    QTest::newRow("last sound: Yes and No") << false << QString() << int(Qt::Key_Return)
                                            << int(SeriesAnswer::kYes) << two;
    QTest::newRow("more waiting: Return is Yes") << true << QString() << int(Qt::Key_Return)
                                                 << int(SeriesAnswer::kYes) << four;
    QTest::newRow("more waiting: Escape is No") << true << QString() << int(Qt::Key_Escape)
                                                << int(SeriesAnswer::kNo) << four;
    QTest::newRow("Yes to All") << true << QStringLiteral("Yes to All") << 0
                                << int(SeriesAnswer::kYesToAll) << four;
    QTest::newRow("No to All") << true << QStringLiteral("No to All") << 0
                               << int(SeriesAnswer::kNoToAll) << four;
  }
  void seriesQuestion() {
    QFETCH(bool, more);
    QFETCH(QString, click);
    QFETCH(int, key);
    QFETCH(int, answer);
    QFETCH(QStringList, buttons);
    app::GuiCallGate gate;
    QWidget wizard;
    wizard.show();
    app::QtUserInterface ui(&wizard, gate);
    Seen seen;
    AnswerWhenShown(seen, Qt::Key(key), click);
    const SeriesAnswer got = ui.AskInSeries(BoxStyle::kSystemModal, "Change it?", more);
    QVERIFY(seen.focused);
    QCOMPARE(int(got), answer);
    QCOMPARE(int(seen.icon), int(QMessageBox::Question));
    QCOMPARE(seen.buttons, buttons);
  }

  // A stopped run that put 48 files beside the page: the box counts them and
  // lists them in its details area, opened, and stays on the screen.
  void longListGoesToTheDetailsArea() {
    std::string text = "/home/alice/site/index.htm was left as it was.\r\n"
                       "These 48 files were put beside it:\r\n";
    for (int i = 0; i < 48; ++i) text += "\r\n\t/home/alice/site/audio/sound" + std::to_string(i) + ".au";
    const app::BoxText split = app::SplitListForDetails(text);
    QCOMPARE(split.text, QStringLiteral("/home/alice/site/index.htm was left as it was.\n"
                                        "These 48 files were put beside it:"));
    QCOMPARE(split.details.split('\n').size(), 48);
    QVERIFY(!split.details.contains('\t'));
    // A short list stays in the text.
    const app::BoxText few = app::SplitListForDetails("Page kept.\r\n\r\n\ta.au\r\n\tb.au");
    QCOMPARE(few.text, QStringLiteral("Page kept.\n\n\ta.au\n\tb.au"));
    QVERIFY(few.details.isEmpty());

    app::GuiCallGate gate;
    QWidget wizard;
    wizard.show();
    app::QtUserInterface ui(&wizard, gate);
    Seen seen;
    AnswerWhenShown(seen, Qt::Key_Return);
    ui.Tell(BoxStyle::kSystemModal, text);
    QVERIFY(seen.focused);
    QCOMPARE(seen.text, split.text);
    QCOMPARE(seen.details, split.details);
    QVERIFY(seen.details_open);
    QVERIFY(seen.height < wizard.screen()->availableGeometry().height());
  }
};

QTEST_MAIN(TestQtUserInterface)
#include "tst_qt_user_interface.moc"
