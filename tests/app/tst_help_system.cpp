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
};

QTEST_MAIN(TestHelpSystem)
#include "tst_help_system.moc"
