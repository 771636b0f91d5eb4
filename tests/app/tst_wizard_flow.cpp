// The page flow without a screen: order, Back, Go To, the checks on leaving
// a page, and the applet class file search.
#include <QtTest>

#include <sys/stat.h>

#include "app/wizard_flow.h"
#include "tests/app/wizard_test_support.h"
#include "tests/support/recording_user_interface.h"

using sonavelt::BoxStyle;
using sonavelt::app::FocusField;
using sonavelt::app::LocateRequiredFile;
using sonavelt::app::WizardChoices;
using sonavelt::app::WizardFlow;
using sonavelt::app::WizardPage;
using sonavelt::testing::FakeInstall;
using sonavelt::testing::RecordingUserInterface;
using sonavelt::testing::ScriptedChooser;
using sonavelt::testing::Touch;

Q_DECLARE_METATYPE(std::vector<int>)

namespace {

// Page number and combination as one number: 31 is EntranceSound of
// combination 1.
int Where(const WizardFlow& flow) { return static_cast<int>(flow.page()) * 10 + flow.combination(); }

}  // namespace

class TestWizardFlow : public QObject {
  Q_OBJECT

 private:
  struct Fixture {
    FakeInstall install;
    WizardChoices choices = install.Choices();
    RecordingUserInterface ui;
    ScriptedChooser chooser;
    WizardFlow flow{choices, {}, ui};

    // Next with whatever the page shows.
    WizardFlow::Step Next(const std::string& count = "4") {
      return flow.Next(flow.View().path_text, count);
    }
    void ToSoundPages(const std::string& count, bool no_background) {
      QVERIFY(Next(count).moved);
      if (no_background) flow.ClickOption(sonavelt::run::OptionBoxId::kNoBackground, true);
      QVERIFY(Next().moved);
    }
  };

 private slots:
  // The remote page in the path field: the port only when it is not the
  // scheme's default.
  void remotePageTextNamesAPortThatIsNotTheDefault() {
    sonavelt::run::PageTarget page;
    page.is_remote = true;
    page.remote_site = "127.0.0.1";
    page.remote_path = "/www/index.htm";
    const struct {
      const char* scheme;
      uint16_t port;
      const char* text;
    } cases[] = {
        {"ftp", 25001, "127.0.0.1:25001:/www/index.htm"},
        {"ftp", 21, "127.0.0.1:/www/index.htm"},
        {"", 0, "127.0.0.1:/www/index.htm"},
        {"ftps", 990, "127.0.0.1:/www/index.htm"},
        {"ftps", 21, "127.0.0.1:21:/www/index.htm"},
        {"sftp", 22, "127.0.0.1:/www/index.htm"},
        {"sftp", 2222, "127.0.0.1:2222:/www/index.htm"},
    };
    for (const auto& c : cases) {
      page.remote_scheme = c.scheme;
      page.remote_port = c.port;
      QCOMPARE(sonavelt::app::RemotePageText(page), std::string(c.text));
    }
    page.remote_site = "::1";
    page.remote_scheme = "ftp";
    page.remote_port = 2121;
    QCOMPARE(sonavelt::app::RemotePageText(page), std::string("[::1]:2121:/www/index.htm"));
  }

  void pageOrder_data() {
    QTest::addColumn<QString>("count");
    QTest::addColumn<bool>("noBackground");
    QTest::addColumn<std::vector<int>>("sequence");  // sound pages, last one has the start button
    QTest::newRow("one, no background") << "1" << true << std::vector<int>{31, 41};
    QTest::newRow("one, background") << "1" << false << std::vector<int>{31, 41, 51};
    QTest::newRow("two, background") << "2" << false << std::vector<int>{31, 41, 51, 32, 42, 52};
    QTest::newRow("two, no background") << "2" << true << std::vector<int>{31, 41, 32, 42};
  }
  void pageOrder() {
    QFETCH(QString, count);
    QFETCH(bool, noBackground);
    QFETCH(std::vector<int>, sequence);
    Fixture f;
    f.ToSoundPages(count.toStdString(), noBackground);
    for (size_t i = 0; i < sequence.size(); ++i) {
      QCOMPARE(Where(f.flow), sequence[i]);
      const bool last = i + 1 == sequence.size();
      QCOMPARE(f.flow.OnLastPage(), last);
      QCOMPARE(f.flow.View().start_button, last);
      if (!last) QVERIFY(f.Next().moved);
    }
    // Next does not pass the last page; the start button does.
    QVERIFY(!f.Next().moved);
    QVERIFY(f.flow.Start(f.flow.View().path_text, f.chooser).moved);
    QCOMPARE(f.flow.page(), WizardPage::kInProgress);
    QVERIFY(!f.flow.Start("", f.chooser).moved);
    QVERIFY(!f.flow.Next("", "").moved);
    QVERIFY(!f.flow.Back("").moved);
    QCOMPARE(f.flow.page(), WizardPage::kInProgress);
    QVERIFY(f.ui.calls.empty());
  }

  void labelsAndGoToShowTheCombination() {
    Fixture f;
    f.ToSoundPages("3", false);
    QCOMPARE(f.flow.View().field_label, std::string("&Selected Audio File for Entrance Event    (No. 1 of 3)"));
    QCOMPARE(f.flow.View().go_to_value, 2);
    f.Next();
    f.Next();
    QCOMPARE(f.flow.View().field_label, std::string("&Selected Audio File for Background Sound  (No. 1 of 3)"));
    f.flow.ReturnToPage(WizardPage::kExitSound, 3);
    QCOMPARE(f.flow.View().go_to_value, 1);
    QVERIFY(f.flow.View().go_to_live);
    QCOMPARE(f.flow.View().help_context, 0x80660464u);

    Fixture one;
    one.ToSoundPages("1", false);
    QVERIFY(!one.flow.View().go_to_live);
    QVERIFY(!one.flow.GoTo("", "1").moved);
  }

  void back_data() {
    QTest::addColumn<bool>("noBackground");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("entrance 2 to background 1") << false << 32 << 51;
    QTest::newRow("entrance 2 to exit 1 without background") << true << 32 << 41;
    QTest::newRow("entrance 1 to options") << false << 31 << 21;
    QTest::newRow("exit to entrance") << false << 42 << 32;
    QTest::newRow("background to exit") << false << 52 << 42;
    QTest::newRow("options to first page") << false << 21 << 11;
  }
  void back() {
    QFETCH(bool, noBackground);
    QFETCH(int, from);
    QFETCH(int, to);
    Fixture f;
    f.ToSoundPages("2", noBackground);
    f.flow.ReturnToPage(static_cast<WizardPage>(from / 10), from % 10);
    QVERIFY(f.flow.Back(f.flow.View().path_text).moved);
    QCOMPARE(Where(f.flow), to);
    QVERIFY(f.ui.calls.empty());
  }

  void backStoresUncheckedPathThatNextRefuses() {
    Fixture f;
    f.ToSoundPages("2", false);
    f.Next();  // exit 1
    const std::string missing = f.install.folder + "/nowhere.wav";
    QVERIFY(f.flow.Back(missing).moved);
    QCOMPARE(f.choices.sounds.exit_sounds[0], missing);
    QVERIFY(f.Next().moved);  // entrance 1 -> exit 1, which shows the stored path
    QCOMPARE(f.flow.View().path_text, missing);
    const WizardFlow::Step step = f.Next();
    QVERIFY(!step.moved);
    QCOMPARE(step.focus, FocusField::kPath);
    QCOMPARE(f.ui.Messages(), std::vector<std::string>{missing + " was not found.\r\nPlease select an audio file."});
    QCOMPARE(f.ui.calls[0].style, BoxStyle::kSystemModal);

    const std::string wma = f.install.folder + "/song.wma";
    Touch(wma);
    QVERIFY(!f.flow.Next(wma, "").moved);
    QCOMPARE(f.ui.calls.size(), size_t{2});
    QVERIFY(f.ui.calls[1].text.find("song.wma") != std::string::npos);
  }

  void firstPageChecks_data() {
    QTest::addColumn<QString>("path");  // relative to the install folder; "" keeps the page
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("message");  // "" for none; %1 is the install folder
    QTest::addColumn<int>("focus");
    QTest::newRow("page missing") << "gone.htm" << "4"
                                  << "%1/gone.htm was not found.\r\nPlease select an HTML file."
                                  << int(FocusField::kPath);
    QTest::newRow("count empty") << "" << "" << "Please provide a real number!" << int(FocusField::kCount);
    QTest::newRow("count too large") << "" << "99" << "\"99\" is too large in reality." << int(FocusField::kCount);
    QTest::newRow("count zero") << "" << "0" << "Please provide a real number!" << int(FocusField::kCount);
    QTest::newRow("accepted") << "" << "16" << "" << 0;
  }
  void firstPageChecks() {
    QFETCH(QString, path);
    QFETCH(QString, count);
    QFETCH(QString, message);
    QFETCH(int, focus);
    Fixture f;
    const std::string text = path.isEmpty() ? f.install.page : f.install.folder + "/" + path.toStdString();
    const WizardFlow::Step step = f.flow.Next(text, count.toStdString());
    QCOMPARE(step.moved, message.isEmpty());
    if (message.isEmpty()) {
      QCOMPARE(f.choices.sounds.entrance_sounds.size(), size_t(count.toInt()));
      return;
    }
    QCOMPARE(int(step.focus), focus);
    QCOMPARE(f.flow.page(), WizardPage::kSelectHtmlFile);
    message.replace(QStringLiteral("%1"), QString::fromStdString(f.install.folder));
    QCOMPARE(f.ui.Messages(), std::vector<std::string>{message.toStdString()});
  }

  void semicolonsAndSpecialFilesAreRefusedBeforeTheyAreStored() {
    Fixture f;
    const std::string semicolon_page = f.install.folder + "/site/a;b.htm";
    Touch(semicolon_page, "<html><body></body></html>");
    QVERIFY(!f.flow.Next(semicolon_page, "2").moved);
    const std::string pipe = f.install.folder + "/site/pipe.htm";
    QCOMPARE(mkfifo(pipe.c_str(), 0600), 0);
    QVERIFY(!f.flow.Next(pipe, "2").moved);  // refused without waiting for a writer
    QCOMPARE(f.ui.Messages().size(), size_t{2});
    QCOMPARE(f.ui.Messages()[0],
             semicolon_page + "\r\ncannot be used: its path holds \";\", which Sonavelt uses to "
                              "separate the choices it remembers.\r\nPlease rename the file or its "
                              "folder, or select another HTML file.");
    QCOMPARE(f.ui.Messages()[1], pipe + " is a named pipe (FIFO), not a file.\r\nPlease select an HTML file.");
    QCOMPARE(f.choices.page.local_html_path, f.install.page);

    f.ToSoundPages("2", false);
    const std::string sound = f.install.folder + "/x;y.wav";
    Touch(sound);
    const std::string before = f.choices.sounds.entrance_sounds[0];
    QVERIFY(!f.flow.Next(sound, "").moved);
    QCOMPARE(f.choices.sounds.entrance_sounds[0], before);
    QVERIFY(f.ui.Messages().back().find("select another audio file") != std::string::npos);
  }

  void remotePageTextIsNeitherCheckedNorStored() {
    Fixture f;
    f.choices.page.is_remote = true;
    f.choices.page.remote_site = "ftp.example.com";
    f.choices.page.remote_path = "/www/index.html";
    QCOMPARE(f.flow.View().path_text, std::string("ftp.example.com:/www/index.html"));
    QVERIFY(f.flow.Next("ftp.example.com:/www/index.html", "2").moved);
    QCOMPARE(f.choices.page.local_html_path, f.install.page);
    QCOMPARE(f.flow.View().field_label, std::string("Absolute &URL for index.html:"));
  }

  void urlChecks_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("safetyKey");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<bool>("moved");
    QTest::addColumn<QString>("told");  // message or question, "" for none
    QTest::addColumn<QString>("stored");
    QTest::newRow("nothing to check") << "" << false << QList<bool>{} << true << "" << "";
    QTest::newRow("no scheme, http:// added") << "www.example.com/site/page.htm" << false << QList<bool>{}
                                              << true << "" << "http://www.example.com/site/page.htm";
    QTest::newRow("ftp") << "ftp://example.com/page.htm" << false << QList<bool>{} << false
                         << "ftp://example.com/page.htm is not a valid HTTP URL.\r\n"
                            "You must provide a valid HTTP URL to access your web page: page.htm"
                         << "ftp://example.com/page.htm";
    QTest::newRow("path only a slash, No") << "http://example.com/" << false << QList<bool>{false} << false
                                           << "Are you sure http://example.com/\r\nis the actual URL for page.htm?"
                                           << "http://example.com/";
    QTest::newRow("path only a slash, Yes") << "http://example.com/" << false << QList<bool>{true} << true
                                            << "Are you sure http://example.com/\r\nis the actual URL for page.htm?"
                                            << "http://example.com/";
    QTest::newRow("safety key without URL") << "" << true << QList<bool>{} << false
                                            << "You must provide the actual URL of page.htm\r\n"
                                               "if you want to set up safety key for page.htm."
                                            << "";
  }
  void urlChecks() {
    QFETCH(QString, url);
    QFETCH(bool, safetyKey);
    QFETCH(QList<bool>, answers);
    QFETCH(bool, moved);
    QFETCH(QString, told);
    QFETCH(QString, stored);
    Fixture f;
    QVERIFY(f.Next("2").moved);
    if (safetyKey) f.flow.ClickOption(sonavelt::run::OptionBoxId::kSafetyKey, true);
    for (bool answer : answers) f.ui.answers.push_back(answer);
    const WizardFlow::Step step = f.flow.Next(url.toStdString(), "");
    QCOMPARE(step.moved, moved);
    QCOMPARE(f.flow.page(), moved ? WizardPage::kEntranceSound : WizardPage::kOptionSettings);
    if (!moved) QCOMPARE(step.focus, FocusField::kPath);
    QCOMPARE(f.ui.calls.size(), told.isEmpty() ? size_t{0} : size_t{1});
    if (!told.isEmpty()) {
      QCOMPARE(QString::fromStdString(f.ui.calls[0].text), told);
      QCOMPARE(f.ui.calls[0].style, BoxStyle::kPlain);
    }
    QCOMPARE(QString::fromStdString(f.choices.options.page_url), stored);
    QCOMPARE(f.choices.options.safety_key, safetyKey);
  }

  void optionClicksTakeEffectAndAreRead() {
    Fixture f;
    QVERIFY(f.Next("2").moved);
    QVERIFY(f.flow.option_boxes().background_initially_on.enabled);
    f.flow.ClickOption(sonavelt::run::OptionBoxId::kNoBackground, true);
    QVERIFY(!f.flow.option_boxes().background_initially_on.enabled);
    QVERIFY(!f.flow.option_boxes().background_initially_on.checked);
    QVERIFY(f.flow.option_boxes().invisible_applet.checked);
    f.flow.ClickOption(sonavelt::run::OptionBoxId::kInvisibleApplet, false);
    QVERIFY(f.flow.option_boxes().invisible_applet.checked);
    f.flow.ClickOption(sonavelt::run::OptionBoxId::kEntranceOn, false);
    QVERIFY(f.flow.Back("http://x/page.htm").moved);  // Back reads the boxes too, unchecked
    QVERIFY(f.choices.options.no_background);
    QVERIFY(f.choices.options.invisible_applet);
    QVERIFY(!f.choices.options.entrance_on);
    QCOMPARE(f.choices.options.page_url, std::string("http://x/page.htm"));
  }

  void goTo() {
    Fixture f;
    f.ToSoundPages("3", false);
    f.flow.ReturnToPage(WizardPage::kExitSound, 3);
    WizardFlow::Step step = f.flow.GoTo("a.wav", "9");
    QVERIFY(!step.moved);
    QCOMPARE(step.focus, FocusField::kGoTo);
    QCOMPARE(f.ui.Messages(), std::vector<std::string>{
                                  "Cannot go to the No. 9 sound combination of total 3 sound combinations."});
    QCOMPARE(f.choices.sounds.exit_sounds[2], f.install.folder + "/audio/event/carcrash2.wav");

    step = f.flow.GoTo("/unchecked/a.wav", "1");
    QVERIFY(step.moved);
    QCOMPARE(Where(f.flow), 41);
    QCOMPARE(f.choices.sounds.exit_sounds[2], std::string("/unchecked/a.wav"));
    QVERIFY(!f.flow.GoTo("", "").moved);
    QCOMPARE(f.ui.Messages().back(), std::string("Please provide a real number!"));
  }

  void restartKeepsTheChoices() {
    Fixture f;
    f.ToSoundPages("1", true);
    f.Next();
    const std::string exit_sound = f.choices.sounds.exit_sounds[0];
    QVERIFY(f.flow.Start(exit_sound, f.chooser).moved);
    f.flow.Restart();
    QCOMPARE(Where(f.flow), 11);
    QCOMPARE(f.flow.View().path_text, f.install.page);
    QCOMPARE(f.flow.View().count_value, 1);
    QVERIFY(f.Next("1").moved);
    QVERIFY(f.flow.View().back_live);
    QVERIFY(f.choices.options.no_background);
    QCOMPARE(f.choices.sounds.exit_sounds[0], exit_sound);
  }

  void startLocatesTheAppletClassFile() {
    Fixture f;
    f.ToSoundPages("1", true);
    f.Next();
    QFile::remove(QString::fromStdString(f.install.paths.applet_class_path));
    const std::string sound = f.flow.View().path_text;
    // Cancelled search: the page stays.
    QVERIFY(!f.flow.Start(sound, f.chooser).moved);
    QCOMPARE(f.ui.Messages(), std::vector<std::string>{
                                  "SonaveltRandomEventBackground.class was not found.\r\nFind it?"});
    QCOMPARE(f.chooser.starts, std::vector<std::string>{f.install.folder});
    QCOMPARE(f.flow.page(), WizardPage::kExitSound);

    // Found elsewhere: the run uses that file from now on.
    const std::string found = f.install.folder + "/elsewhere/SonaveltRandomEventBackground.class";
    Touch(found);
    f.chooser.answers = {found};
    QVERIFY(f.flow.Start(sound, f.chooser).moved);
    QCOMPARE(f.choices.paths.applet_class_path, found);
  }

  void locateRequiredFileInsistsOnTheExactName() {
    FakeInstall install;
    RecordingUserInterface ui;
    ScriptedChooser chooser;
    const std::string wrong = install.folder + "/sonaveltrandomeventbackground.class";
    const std::string right = install.folder + "/x/SonaveltRandomEventBackground.class";
    Touch(wrong);
    Touch(right);
    const std::string question = wrong +
                                 "\r\nis not SonaveltRandomEventBackground.class\r\n\r\n"
                                 "Sonavelt cannot complete without SonaveltRandomEventBackground.class"
                                 "\r\nWould you please find SonaveltRandomEventBackground.class again?";
    std::string path = wrong;
    ui.answers = {false};
    QVERIFY(!LocateRequiredFile(path, "SonaveltRandomEventBackground.class", install.folder, ui, chooser));
    QCOMPARE(ui.Questions(), std::vector<std::string>{question});
    QCOMPARE(int(ui.calls.back().question), int(sonavelt::QuestionKind::kOkCancel));

    // A cancelled dialog asks again; then the right file ends the search.
    ui = RecordingUserInterface();
    ui.answers = {true, true};
    chooser.answers = {"", right};
    QVERIFY(LocateRequiredFile(path, "SonaveltRandomEventBackground.class", install.folder, ui, chooser));
    QCOMPARE(ui.Questions().size(), size_t{2});
    QCOMPARE(path, right);
  }
};

QTEST_GUILESS_MAIN(TestWizardFlow)
#include "tst_wizard_flow.moc"
