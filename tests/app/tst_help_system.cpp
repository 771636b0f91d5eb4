// The shipped help has a topic for every context the program opens, and the
// help window opens at it.
#include <QtTest>

#include <QScrollBar>
#include <QTextBrowser>

#include <set>

#include "app/help_system.h"
#include "app/wizard_flow.h"
#include "tests/app/wizard_test_support.h"
#include "tests/support/recording_user_interface.h"

using namespace sonavelt;

class TestHelpSystem : public QObject {
  Q_OBJECT

 private:
  static QString HelpFile() {
    return QString::fromStdString(testing::BuildDataDir() + "/help/index.html");
  }

 private slots:
  void everyContextHasATopic() {
    // Every page the wizard shows, both as last page and not, with and
    // without a background sound.
    std::set<uint32_t> contexts = {0x808A0462, 0x808B0463};  // the remote site's dialogs
    for (bool no_background : {false, true}) {
      testing::FakeInstall install;
      app::WizardChoices choices = install.Choices();
      testing::RecordingUserInterface ui;
      app::WizardFlow flow(choices, {}, ui);
      flow.Next(install.page, "2");
      if (no_background) flow.ClickOption(run::OptionBoxId::kNoBackground, true);
      for (int page = 1; page <= 5; ++page) {
        for (int combination = 1; combination <= 2; ++combination) {
          flow.ReturnToPage(static_cast<app::WizardPage>(page), combination);
          const app::PageView view = flow.View();
          contexts.insert({view.help_context, view.label_context, view.field_context});
        }
      }
    }
    QCOMPARE(contexts.size(), size_t{19});
    app::HelpSystem help(HelpFile());
    for (uint32_t context : contexts) {
      QVERIFY2(!help.TopicText(context).isEmpty(), qPrintable(app::HelpSystem::AnchorOf(context)));
    }
    QVERIFY(help.TopicText(0x80660400).isEmpty());
  }

  void windowOpensAtTheTopic() {
    app::HelpSystem help(HelpFile());
    help.ShowTopic(0x80660461);
    QVERIFY(help.browser() && help.browser()->isVisible());
    const int first = help.browser()->verticalScrollBar()->value();
    help.ShowTopic(0x808B0463);  // the last topic but one: further down
    QVERIFY(help.browser()->verticalScrollBar()->value() > first);
    help.Close();
    QTRY_VERIFY(!help.browser());

    app::HelpSystem missing(QStringLiteral("/nonexistent/help/index.html"));
    missing.ShowTopic(0x80660461);
    QVERIFY(missing.browser()->toPlainText().contains(QStringLiteral("was not found")));
  }

  // Where the help window goes on a 1280 x 800 screen with a panel at the
  // top: beside the wizard where there is room, never over its buttons at
  // the bottom right, never larger than the free area.
  void placedBesideTheWizard_data() {
    QTest::addColumn<QRect>("wizard");
    QTest::addColumn<QSize>("wanted");
    QTest::addColumn<QRect>("placed");
    const QSize help(560, 520);
    QTest::newRow("room on the right") << QRect(100, 100, 600, 300) << help
                                       << QRect(708, 100, 560, 520);
    QTest::newRow("room on the left only") << QRect(640, 200, 600, 300) << help
                                           << QRect(72, 200, 560, 520);
    QTest::newRow("low on the screen: moved up to fit") << QRect(100, 600, 600, 300) << help
                                                        << QRect(708, 280, 560, 520);
    QTest::newRow("no room beside: at the left edge") << QRect(200, 100, 900, 400) << help
                                                      << QRect(0, 100, 560, 520);
    QTest::newRow("200 %: no taller or wider than the free area")
        << QRect(0, 24, 1200, 600) << QSize(1120, 1040) << QRect(0, 24, 1120, 776);
  }
  void placedBesideTheWizard() {
    QFETCH(QRect, wizard);
    QFETCH(QSize, wanted);
    QFETCH(QRect, placed);
    const QRect room(0, 24, 1280, 776);
    const QRect got = app::PlaceBeside(wizard, wanted, room);
    QCOMPARE(got, placed);
    QVERIFY(room.contains(got));
  }
};

QTEST_MAIN(TestHelpSystem)
#include "tst_help_system.moc"
