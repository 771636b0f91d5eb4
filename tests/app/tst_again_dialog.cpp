// "Sonavelt Again?" and "About Sonavelt".
#include <QtTest>

#include <QLabel>
#include <QProcess>
#include <QPushButton>

#include "app/about_dialog.h"
#include "app/again_dialog.h"

using sonavelt::app::AboutDialog;
using sonavelt::app::AgainDialog;

class TestSecondaryDialogs : public QObject {
  Q_OBJECT

 private slots:
  void testButtonOnlyWithPageUrl() {
    int tests = 0;
    AgainDialog without(false, [&] { ++tests; });
    without.show();
    QVERIFY(!without.test_button()->isVisible());
    QCOMPARE(without.windowTitle(), QStringLiteral("Sonavelt Again?"));

    AgainDialog with(true, [&] { ++tests; });
    with.show();
    QVERIFY(with.test_button()->isVisible());
    with.test_button()->click();
    with.test_button()->click();
    QCOMPARE(tests, 2);
    QVERIFY(with.isVisible());
  }

  void answers_data() {
    QTest::addColumn<int>("how");  // 0 YES, 1 NO, 2 Escape, 3 Enter
    QTest::addColumn<int>("result");
    QTest::newRow("YES") << 0 << int(QDialog::Accepted);
    QTest::newRow("NO") << 1 << int(QDialog::Rejected);
    QTest::newRow("Escape") << 2 << int(QDialog::Rejected);
    QTest::newRow("Enter takes the default YES") << 3 << int(QDialog::Accepted);
  }
  void answers() {
    QFETCH(int, how);
    QFETCH(int, result);
    AgainDialog again(true, [] {});
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    if (how == 0) again.yes_button()->click();
    if (how == 1) again.no_button()->click();
    if (how == 2) QTest::keyClick(&again, Qt::Key_Escape);
    if (how == 3) QTest::keyClick(&again, Qt::Key_Return);
    QCOMPARE(again.result(), result);
    QVERIFY(!again.isVisible());
  }

  // The About box and sonavelt-cli --version show the one version of the build.
  void aboutShowsTheVersionOfTheCommandLine() {
    QProcess cli;
    cli.start(QStringLiteral(SONAVELT_CLI), {QStringLiteral("--version")});
    QVERIFY(cli.waitForFinished(10000));
    QCOMPARE(cli.exitCode(), 0);
    const QString printed = QString::fromUtf8(cli.readAllStandardOutput()).trimmed();
    const QString prefix = QStringLiteral("sonavelt-cli ");
    QVERIFY2(printed.startsWith(prefix) && printed.size() > prefix.size(), qPrintable(printed));
    const QString shown = QStringLiteral("Sonavelt ") + printed.mid(prefix.size());

    AboutDialog about({});
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>()) texts << label->text();
    QVERIFY2(texts.contains(shown), qPrintable(texts.join(QStringLiteral(" | "))));
  }

  void aboutPlaysTheStartSoundOnlyWhenLeftOpen() {
    int early = 0;
    int late = 0;
    AboutDialog closed_early([&] { ++early; });
    AboutDialog left_open([&] { ++late; });
    closed_early.show();
    left_open.show();
    QTest::qWait(300);
    closed_early.accept();
    QTest::qWait(AboutDialog::kStartSoundDelayMs + 300);
    QCOMPARE(early, 0);
    QCOMPARE(late, 1);
  }
};

QTEST_MAIN(TestSecondaryDialogs)
#include "tst_again_dialog.moc"
