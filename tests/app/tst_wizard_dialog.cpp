// The wizard window on the offscreen platform: keyboard, the options page's
// boxes, and whole runs on a worker thread with the quit question and the
// after-run step, answered in the real "Sonavelt Again?" dialog.
#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>

#include <atomic>
#include <cstdio>
#include <functional>
#include <semaphore>
#include <thread>

#include "app/again_dialog.h"
#include "app/gui_call_gate.h"
#include "app/help_system.h"
#include "app/page_widgets.h"
#include "app/remote_page_chooser.h"
#include "app/window_parts.h"
#include "app/wizard_dialog.h"
#include "html/page_edit.h"
#include "html/page_remove.h"
#include "run/applet_block.h"
#include "run/audio_sound_work.h"
#include "run/player_data.h"
#include "run/run_messages.h"
#include "run/sound_lists.h"
#include "run/startup.h"
#include "tests/app/wizard_test_support.h"
#include "tests/support/recording_user_interface.h"

using namespace sonavelt;
using app::WizardPage;

// Picks "/www/index.html" on "ftp.example.com", showing the status line the
// way the remote dialogs do: from a thread of their own.
class FakeRemoteChooser : public app::RemotePageChooser {
 public:
  bool ChooseRemotePage(QWidget*, remote::StatusLine& status_line,
                        run::RunRequest& request) override {
    std::atomic<bool> shown{false};
    std::thread worker([&] {
      status_line.Show("  Contacting ftp.example.com ......");
      shown = true;
    });
    while (!shown) QCoreApplication::processEvents();
    worker.join();
    label_seen = label->isVisible() && label->toolTip().contains(QStringLiteral("Contacting"));
    status_line.Hide();
    if (!pick) return false;
    request.page.is_remote = true;
    request.page.remote_site = "ftp.example.com";
    request.page.remote_path = "/www/index.html";
    return true;
  }

  QLabel* label = nullptr;
  bool label_seen = false;
  bool pick = true;
};

// The real sound work, held at the start of each placed sound while asked
// to, so a test can act while a run is before its commit point.
class GatedSoundWork : public run::AudioSoundWork {
 public:
  using AudioSoundWork::AudioSoundWork;
  Status PlaceSound(const std::string& path, const std::string& target,
                    const run::StopRequest& stop,
                    const std::function<void(int)>& progress,
                    audio::DecodedSoundSink* decoded) override {
    if (hold) {
      held = true;
      release.acquire();
    }
    return AudioSoundWork::PlaceSound(path, target, stop, progress, decoded);
  }
  std::atomic<bool> hold{false};
  std::atomic<bool> held{false};
  std::binary_semaphore release{0};
};

class TestWizardDialog : public QObject {
  Q_OBJECT

 private:
  // A wizard over the build tree's install folder (real sounds and applet
  // class file) with a copy of the sample page and work folders of its own.
  struct Fixture {
    Fixture() {
      const std::string data = testing::BuildDataDir();
      const std::string work = dir.path().toStdString();
      choices.paths.install_folder = data;
      choices.paths.cache_folder = work + "/Cache";
      choices.paths.history_folder = work + "/HISTORY";
      choices.paths.applet_class_path = data + "/SonaveltRandomEventBackground.class";
      choices.paths.player_script_path = data + "/" + run::kPlayerScriptInstallPath;
      choices.page.local_html_path = work + "/sample.htm";
      QFile::copy(QString::fromStdString(data + "/samples/sample.htm"),
                  QString::fromStdString(choices.page.local_html_path));

      app::WizardServices services;
      services.ui = &ui;
      services.gate = &gate;
      services.html_chooser = &chooser;
      services.sound_chooser = &chooser;
      services.applet_chooser = &chooser;
      services.output = &output;
      services.previews = &previews;
      services.sound_work = &sound_work;
      services.start_sound = [this] { ++start_sounds; };
      services.write_history = [this](const run::StoredHistory& h) { histories.push_back(h); };
      services.pause = [this](int) {
        if (!block_in_pause) return;
        paused = true;
        resume.acquire();
      };
      services.show_broken_page = [this](const std::string& path) { broken_pages.push_back(path); };
      services.remote = &remote;
      services.help = &help;
      wizard = std::make_unique<app::WizardDialog>(choices, run::StoredHistory{}, services);
      wizard->show();
      wizard->activateWindow();
      if (!QTest::qWaitForWindowActive(wizard.get())) qWarning("wizard window not active");

      // Answers the real "Sonavelt Again?" from the keyboard once it shows
      // (Alt+Y or Alt+N, its buttons' mnemonics).
      again_watch.setInterval(50);
      QObject::connect(&again_watch, &QTimer::timeout, [this] {
        auto* again = qobject_cast<app::AgainDialog*>(QApplication::activeModalWidget());
        if (again == nullptr || !again->isVisible() || !again->isActiveWindow()) return;
        if (again != answered) {
          answered = again;
          again_asked.push_back(again->test_button()->isVisible());
          wizard_shown_with_again = wizard->isVisible();
        }
        QTest::keyClick(again, again_answer ? Qt::Key_Y : Qt::Key_N, Qt::AltModifier);
      });
      again_watch.start();
    }
    ~Fixture() {
      if (wizard->RunInProgress()) {
        block_in_pause = false;
        resume.release();
        sound_work.hold = false;
        sound_work.release.release();
        QSignalSpy(wizard.get(), &app::WizardDialog::runFinished).wait(60000);
      }
    }

    void Next() { wizard->next_button()->click(); }
    // Through the pages to the one with the start button.
    void ToLastPage(const QString& count, bool no_background) {
      wizard->select_controls()->count_spin()->edit()->setText(count);
      Next();
      if (no_background) wizard->option_controls()->box(run::OptionBoxId::kNoBackground)->click();
      while (wizard->flow().page() != WizardPage::kInProgress && !wizard->flow().OnLastPage()) Next();
    }

    QTemporaryDir dir;
    app::WizardChoices choices;
    testing::RecordingUserInterface ui;
    app::GuiCallGate gate;
    testing::ScriptedChooser chooser;
    FakeRemoteChooser remote;
    testing::RecordingOutput output;
    run::SoundPreviews previews{dir.path().toStdString() + "/Cache"};
    GatedSoundWork sound_work{ui};
    int start_sounds = 0;
    std::vector<run::StoredHistory> histories;
    std::atomic<bool> block_in_pause{false};
    std::atomic<bool> paused{false};
    std::binary_semaphore resume{0};
    std::vector<bool> again_asked;  // whether each had the test button
    bool wizard_shown_with_again = false;
    QPointer<app::AgainDialog> answered;
    QTimer again_watch;
    app::HelpSystem help{QString::fromStdString(testing::BuildDataDir() + "/help/index.html")};
    std::vector<std::string> broken_pages;
    bool again_answer = true;
    std::unique_ptr<app::WizardDialog> wizard;
  };

 private slots:
  void initTestCase() {
    QVERIFY2(QFileInfo::exists(QString::fromStdString(testing::BuildDataDir() + "/audio/hi.au")),
             "SONAVELT_BUILD_DATA_DIR must name the built install folder");
  }

  void keyboardDrivesThePages() {
    Fixture f;
    app::WizardDialog& w = *f.wizard;
    QCOMPARE(w.windowTitle(), QStringLiteral("Sonavelt - Select HTML File"));
    QVERIFY(!w.back_button()->isEnabled());
    QCOMPARE(w.field_label()->text(), QStringLiteral("&Selected HTML File"));

    // A bad count: the message, then the count field focused and selected.
    QLineEdit* count = w.select_controls()->count_spin()->edit();
    count->setText(QStringLiteral("17"));
    QTest::keyClick(w.path_edit(), Qt::Key_Return);
    QCOMPARE(f.ui.Messages(), std::vector<std::string>{"\"17\" is too large in reality."});
    QVERIFY(count->hasFocus());
    QCOMPARE(count->selectedText(), QStringLiteral("17"));

    count->setText(QStringLiteral("1"));
    QTest::keyClick(count, Qt::Key_Return);
    QCOMPARE(w.windowTitle(), QStringLiteral("Sonavelt - Option Settings"));
    QVERIFY(w.path_edit()->hasFocus());
    QTest::keyClick(w.path_edit(), Qt::Key_Return);
    QCOMPARE(w.windowTitle(), QStringLiteral("Sonavelt - Select Sound for Entrance Event"));
    // One combination: Go To is shown disabled and empty.
    QVERIFY(!w.sound_controls()->go_to_button()->isEnabled());
    QVERIFY(w.sound_controls()->go_to_spin()->text().isEmpty());
    QCOMPARE(w.path_edit()->selectedText(), w.path_edit()->text());
    QTest::keyClick(w.path_edit(), Qt::Key_Return);
    QTest::keyClick(w.path_edit(), Qt::Key_Return);
    QCOMPARE(w.windowTitle(), QStringLiteral("Sonavelt - Select Background Sound"));
    QCOMPARE(w.next_button()->text(), QStringLiteral("&Sonavelt"));
    w.back_button()->click();
    QCOMPARE(w.next_button()->text(), QStringLiteral("&Next >"));

    // No button of a page is drawn as the default: Enter is the wizard's.
    for (QPushButton* button : w.findChildren<QPushButton*>())
      QVERIFY2(!button->isDefault() && !button->autoDefault(), qPrintable(button->text()));
    QTest::keyClick(w.path_edit(), Qt::Key_Escape);
    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Rejected));
  }

  void playAndGoToHaveKeys() {
    Fixture f;
    app::WizardDialog& w = *f.wizard;
    w.select_controls()->count_spin()->edit()->setText(QStringLiteral("2"));
    f.Next();
    f.Next();
    QCOMPARE(w.flow().page(), WizardPage::kEntranceSound);
    QTest::keyClick(w.path_edit(), Qt::Key_P, Qt::AltModifier);
    // A mnemonic presses its button as a click does, after a moment.
    QTRY_COMPARE(f.output.played.size(), size_t{1});
    QVERIFY2(f.ui.calls.empty(), f.ui.calls.empty() ? "" : f.ui.calls[0].text.c_str());
    QTest::keyClick(w.path_edit(), Qt::Key_M, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), w.sound_controls()->go_to_spin()->edit());
  }

  void optionBoxesFollowTheClickRules() {
    Fixture f;
    f.wizard->select_controls()->count_spin()->edit()->setText(QStringLiteral("1"));
    f.Next();
    app::OptionSettingsControls* options = f.wizard->option_controls();
    QCheckBox* random = options->box(run::OptionBoxId::kRandomOrder);
    QCheckBox* no_background = options->box(run::OptionBoxId::kNoBackground);
    QCheckBox* initially_on = options->box(run::OptionBoxId::kBackgroundInitiallyOn);
    QCheckBox* invisible = options->box(run::OptionBoxId::kInvisibleApplet);
    QVERIFY(!random->isEnabled());  // one combination
    QVERIFY(!random->isChecked());
    QTest::mouseClick(no_background, Qt::LeftButton);
    QVERIFY(!initially_on->isEnabled());
    QVERIFY(invisible->isChecked());
    QTest::mouseClick(invisible, Qt::LeftButton);
    QVERIFY(invisible->isChecked());
    QTest::mouseClick(no_background, Qt::LeftButton);
    QVERIFY(initially_on->isEnabled());
  }

  void browserPlayerIsOnAndItsControlCanGoToACorner() {
    Fixture f;
    f.Next();
    QCOMPARE(f.wizard->flow().page(), WizardPage::kOptionSettings);
    app::OptionSettingsControls* options = f.wizard->option_controls();
    QCheckBox* player = options->box(run::OptionBoxId::kBrowserPlayer);
    QVERIFY(player->isChecked());  // nothing stored: on
    QComboBox* position = options->position_list();
    QVERIFY(position->isEnabled());
    QCOMPARE(position->currentText(), QStringLiteral("Where the Sound Block Is"));
    position->setFocus();
    QTest::keyClick(position, Qt::Key_End);
    QCOMPARE(f.wizard->flow().player_position(), run::PlayerPosition::kBottomRight);
    // Without the player, or with an invisible control, there is nothing to place.
    QTest::mouseClick(player, Qt::LeftButton);
    QVERIFY(!position->isEnabled());
    QTest::mouseClick(player, Qt::LeftButton);
    QTest::mouseClick(options->box(run::OptionBoxId::kInvisibleApplet), Qt::LeftButton);
    QVERIFY(!position->isEnabled());
  }

  void runCompletesAndYesStartsAgain() {
    Fixture f;
    f.ToLastPage(QStringLiteral("1"), true);
    QCOMPARE(f.wizard->windowTitle(), QStringLiteral("Sonavelt - Select Sound for Exit Event"));
    QSignalSpy finished(f.wizard.get(), &app::WizardDialog::runFinished);
    // The wizard runs as the program runs it, in its own loop until it ends.
    bool in_progress_seen = false;
    bool restarted = false;
    QTimer::singleShot(0, [&] {
      QTest::keyClick(f.wizard->path_edit(), Qt::Key_Return);
      in_progress_seen = f.wizard->RunInProgress() &&
                         f.wizard->windowTitle() == QStringLiteral("Sonavelt In Progress") &&
                         !f.wizard->next_button()->isVisible();
      // Enter does nothing during a run (Escape asks to stop it:
      // cancelDuringRun).
      QTest::keyClick(f.wizard.get(), Qt::Key_Return);
      in_progress_seen = in_progress_seen && f.wizard->isVisible();
    });
    QObject::connect(f.wizard.get(), &app::WizardDialog::runFinished, [&] {
      QTimer::singleShot(100, [&] {
        restarted = f.wizard->isVisible() && f.wizard->flow().page() == WizardPage::kSelectHtmlFile;
        // Ends the wizard's loop (it would run on after a return to page 1).
        if (restarted) f.wizard->close_button()->click();
      });
    });
    QTimer::singleShot(90000, f.wizard.get(), [&] { f.wizard->done(99); });
    const int result = f.wizard->Run();
    QVERIFY(in_progress_seen);
    QCOMPARE(finished.count(), 1);
    QVERIFY2(f.ui.calls.empty(), f.ui.calls.empty() ? "" : f.ui.calls[0].text.c_str());
    QCOMPARE(f.again_asked, std::vector<bool>{false});  // no page URL: no test button
    QVERIFY(!f.wizard_shown_with_again);
    QVERIFY2(restarted, "YES ended the wizard instead of showing its first page again");
    QCOMPARE(result, int(QDialog::Rejected));  // by the Close button afterwards
    QCOMPARE(f.wizard->progress_controls()->bar()->value(), 100);
    QCOMPARE(f.histories.size(), size_t{1});
    QVERIFY(!f.wizard->settings_page().empty());
    // The previous choices are offered again.
    QCOMPARE(f.wizard->path_edit()->text(), QString::fromStdString(f.choices.page.local_html_path));
    QCOMPARE(f.wizard->select_controls()->count_spin()->text(), QStringLiteral("1"));
    QVERIFY(f.choices.options.no_background);
  }

  // F1 opens the help window beside the running wizard; it takes the focus,
  // scrolls with the keyboard and closes with Escape, and the wizard goes on.
  void helpWindowIsUsableWhileTheWizardRuns() {
    Fixture f;
    bool active = false;
    int before = -1;
    int after = -1;
    bool closed = false;
    bool wizard_open = false;
    QTimer::singleShot(0, [&] {
      QTest::keyClick(f.wizard->path_edit(), Qt::Key_F1);
      QTextBrowser* help = f.help.browser();
      if (help == nullptr) return f.wizard->done(98);
      active = QTest::qWaitForWindowActive(help) && help->hasFocus();
      help->verticalScrollBar()->setValue(0);
      before = help->verticalScrollBar()->value();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
      after = help->verticalScrollBar()->value();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
      closed = QTest::qWaitFor([&] { return f.help.browser() == nullptr; }, 2000);
      wizard_open = f.wizard->isVisible();
      f.wizard->close_button()->click();
    });
    QTimer::singleShot(30000, f.wizard.get(), [&] { f.wizard->done(99); });
    QCOMPARE(f.wizard->Run(), int(QDialog::Rejected));
    QVERIFY2(active, "the help window did not take the focus");
    QVERIFY2(after > before, "the help window did not scroll with Page Down");
    QVERIFY2(closed, "Escape did not close the help window");
    QVERIFY(wizard_open);
  }

  // The window grows and shrinks; a long page name is shortened in the label
  // rather than widening or clipping the window.
  void windowResizesAndLongNamesElide() {
    Fixture f;
    QVERIFY(f.wizard->minimumWidth() < f.wizard->maximumWidth());
    const QString long_name = QStringLiteral("a-page-with-a-rather-long-name-that-goes-on-and-on-and-on.htm");
    const QString page = f.dir.filePath(long_name);
    testing::Touch(page.toStdString(), "<html><body></body></html>");
    f.wizard->path_edit()->setText(page);
    f.wizard->select_controls()->count_spin()->edit()->setText(QStringLiteral("1"));
    const int width = f.wizard->width();
    f.Next();
    QCOMPARE(f.wizard->width(), width);
    auto* label = static_cast<app::ElidedLabel*>(f.wizard->field_label());
    QCOMPARE(label->text(), QStringLiteral("Absolute &URL for ") + long_name + QStringLiteral(":"));
    f.wizard->resize(f.wizard->minimumWidth(), f.wizard->height());
    QTRY_VERIFY(label->ShownText() != label->text());
    QVERIFY(label->ShownText().startsWith(QStringLiteral("Absolute &URL for ")));
    QVERIFY(label->ShownText().contains(QChar(0x2026)));
    QVERIFY(label->fontMetrics().horizontalAdvance(QString(label->ShownText()).remove(QLatin1Char('&'))) <=
            label->contentsRect().width());
    QVERIFY(label->toolTip().contains(long_name));
    f.wizard->resize(1400, f.wizard->height() + 100);
    QTRY_COMPARE(label->ShownText(), label->text());
    QVERIFY(label->toolTip().isEmpty());
  }

  void quitQuestionDuringRun_data() {
    QTest::addColumn<bool>("quit");
    QTest::newRow("No lets the run go on") << false;
    QTest::newRow("Yes ends the program") << true;
  }
  void quitQuestionDuringRun() {
    QFETCH(bool, quit);
    Fixture f;
    f.ToLastPage(QStringLiteral("1"), true);
    f.block_in_pause = true;
    QSignalSpy finished(f.wizard.get(), &app::WizardDialog::runFinished);
    f.Next();
    QTRY_VERIFY_WITH_TIMEOUT(f.paused, 60000);

    f.ui.answers = {quit};
    f.wizard->close();  // the window's close command
    QCOMPARE(f.ui.Questions(), std::vector<std::string>{"Do you really want to quit Sonavelt?"});
    QCOMPARE(f.ui.calls[0].style, BoxStyle::kSystemModal);
    QCOMPARE(f.wizard->stop_request().requested(), quit);
    QVERIFY(f.wizard->isVisible());  // the run, not the window, ends the program

    f.block_in_pause = false;
    f.resume.release();
    QVERIFY(finished.wait(60000));
    QVERIFY(!f.wizard->RunInProgress());
    if (quit) {
      QVERIFY(f.again_asked.empty());
      QVERIFY(!f.wizard->isVisible());
      QCOMPARE(f.wizard->result(), int(QDialog::Rejected));
    } else {
      QCOMPARE(f.again_asked.size(), size_t{1});
      QVERIFY(f.wizard->isVisible());
    }
  }

  void cancelDuringRun_data() {
    QTest::addColumn<bool>("stop");
    QTest::addColumn<bool>("by_escape");
    QTest::newRow("Cancel, No: the run goes on") << false << false;
    QTest::newRow("Cancel, Yes: back on the last page") << true << false;
    QTest::newRow("Escape, Yes: the same") << true << true;
  }
  void cancelDuringRun() {
    QFETCH(bool, stop);
    QFETCH(bool, by_escape);
    Fixture f;
    f.ToLastPage(QStringLiteral("1"), true);
    const WizardPage last = f.wizard->flow().page();
    auto read_page = [&f] {
      QFile page(QString::fromStdString(f.choices.page.local_html_path));
      return page.open(QIODevice::ReadOnly) ? page.readAll() : QByteArray();
    };
    const QByteArray page_before = read_page();
    // Held while its first sound is converted: before the page is touched.
    f.sound_work.hold = true;
    QSignalSpy finished(f.wizard.get(), &app::WizardDialog::runFinished);
    f.Next();
    QTRY_VERIFY_WITH_TIMEOUT(f.sound_work.held, 60000);

    QPushButton* cancel = f.wizard->progress_controls()->cancel_button();
    QVERIFY(cancel->isVisible());
    f.ui.answers = {stop};
    if (by_escape) {
      QTest::keyClick(f.wizard.get(), Qt::Key_Escape);
    } else {
      cancel->click();
    }
    const std::string question =
        "Do you really want to stop this run?\r\nA stopped run leaves the page as it was.";
    QCOMPARE(f.ui.Questions(), std::vector<std::string>{question});
    QCOMPARE(f.ui.calls[0].style, BoxStyle::kSystemModal);
    QCOMPARE(f.wizard->stop_request().requested(), stop);

    f.sound_work.hold = false;
    f.sound_work.release.release();
    QVERIFY(finished.wait(60000));
    QVERIFY(!f.wizard->RunInProgress());
    QVERIFY(f.wizard->isVisible());
    if (stop) {
      QVERIFY(f.again_asked.empty());
      QCOMPARE(f.wizard->flow().page(), last);
      QCOMPARE(read_page(), page_before);
    } else {
      QCOMPARE(f.again_asked.size(), size_t{1});
    }
  }

  void noAfterRunEndsTheWizard() {
    Fixture f;
    f.again_answer = false;
    f.ToLastPage(QStringLiteral("1"), true);
    QSignalSpy finished(f.wizard.get(), &app::WizardDialog::runFinished);
    f.Next();
    QVERIFY(finished.wait(60000));
    QVERIFY(!f.wizard->isVisible());
    QCOMPARE(f.wizard->result(), int(QDialog::Accepted));
  }

  void missingSoundSendsTheRunBack() {
    Fixture f;
    f.ToLastPage(QStringLiteral("2"), true);
    // Chosen, then removed before the run checks it.
    const QString doomed = f.dir.filePath(QStringLiteral("doomed.wav"));
    QFile::copy(QString::fromStdString(testing::BuildDataDir() + "/audio/event/car1.wav"), doomed);
    f.choices.sounds.entrance_sounds[0] = doomed.toStdString();
    QSignalSpy finished(f.wizard.get(), &app::WizardDialog::runFinished);
    QFile::remove(doomed);
    f.Next();
    QVERIFY(finished.wait(60000));
    QCOMPARE(f.wizard->flow().page(), WizardPage::kEntranceSound);
    QCOMPARE(f.wizard->flow().combination(), 1);
    QCOMPARE(f.wizard->path_edit()->text(), doomed);
    QVERIFY(f.again_asked.empty());
    QVERIFY(!f.ui.Messages().empty());
  }

  void remoteSiteChoiceFillsThePathField() {
    Fixture f;
    f.remote.label = f.wizard->ftp_status_label();
    const QString before = f.wizard->path_edit()->text();
    f.remote.pick = false;
    f.wizard->select_controls()->remote_button()->click();
    QVERIFY(f.remote.label_seen);
    QVERIFY(!f.wizard->ftp_status_label()->isVisible());
    QCOMPARE(f.wizard->path_edit()->text(), before);
    QVERIFY(!f.choices.page.is_remote);

    f.remote.pick = true;
    f.wizard->select_controls()->remote_button()->click();
    QCOMPARE(f.wizard->path_edit()->text(), QStringLiteral("ftp.example.com:/www/index.html"));
    QVERIFY(f.wizard->path_edit()->hasFocus());
    f.Next();  // the remote text is not checked as a local file
    QCOMPARE(f.wizard->field_label()->text(), QStringLiteral("Absolute &URL for index.html:"));
  }

  void unreadableBodyTagShowsThePageAndEnds() {
    Fixture f;
    const std::string page = f.choices.page.local_html_path;
    testing::Touch(page, "<HTML><HEAD><TITLE>t</TITLE></HEAD><BODY BGCOLOR=\"#FFFFFF\"");
    f.ToLastPage(QStringLiteral("1"), true);
    QSignalSpy finished(f.wizard.get(), &app::WizardDialog::runFinished);
    f.Next();
    QVERIFY(finished.wait(60000));
    QCOMPARE(f.broken_pages.size(), size_t{1});
    QCOMPARE(f.ui.Messages().size(), size_t{1});
    QVERIFY(!f.wizard->isVisible());
    QCOMPARE(f.wizard->result(), int(QDialog::Rejected));
    QVERIFY(f.again_asked.empty());
  }

  void chosenPathsHoldingASemicolonAreRefused() {
    Fixture f;
    const std::string page = f.dir.path().toStdString() + "/a;b.htm";
    f.chooser.answers = {page};
    f.wizard->select_controls()->local_button()->click();
    QCOMPARE(f.wizard->path_edit()->text().toStdString(), f.choices.page.local_html_path);
    QCOMPARE(f.ui.Messages().size(), size_t{1});
    QVERIFY(f.ui.Messages()[0].find("a;b.htm\r\ncannot be used: its path holds \";\"") !=
            std::string::npos);

    f.wizard->select_controls()->count_spin()->edit()->setText("1");
    f.Next();
    f.Next();
    QCOMPARE(f.wizard->flow().page(), WizardPage::kEntranceSound);
    const QString before = f.wizard->path_edit()->text();
    f.chooser.answers = {f.dir.path().toStdString() + "/x;y.wav"};
    f.wizard->sound_controls()->browse_button()->click();
    QCOMPARE(f.wizard->path_edit()->text(), before);
    QCOMPARE(f.ui.Messages().size(), size_t{2});
    QVERIFY(f.ui.Messages()[1].find("select another audio file") != std::string::npos);
  }

  // "Remove Sounds..." asks first; No changes nothing, Yes gives back the
  // page before its first run and takes the page's files with the block.
  void removeSoundsAsksThenTakesThemOff() {
    Fixture f;
    const std::string page = f.choices.page.local_html_path;
    const std::string folder = f.dir.path().toStdString();
    const std::string original = "<html><head><title>t</title></head><body>\nhi\n</body></html>\n";
    html::PageNames names{page, "sample.htm"};
    const html::PageEditResult edited = html::ProcessPage(
        original, names, run::AppletBlocks(run::RunOptions{}, "sample", run::PageFormOf(original)));
    QCOMPARE(int(edited.outcome), int(html::PageEditOutcome::kEdited));
    testing::Touch(page, QByteArray::fromStdString(edited.edited_page));
    testing::Touch(folder + "/sample.sounds.js",
                   QByteArray::fromStdString(run::PlayerDataText(
                       "sample", "", {}, html::BodyEditName(edited.body_edit))));
    testing::Touch(folder + "/sample.res");
    auto page_text = [&] {
      QFile file(QString::fromStdString(page));
      file.open(QIODevice::ReadOnly);
      return file.readAll().toStdString();
    };

    app::WizardDialog& w = *f.wizard;
    QCOMPARE(w.flow().page(), WizardPage::kSelectHtmlFile);
    f.ui.answers = {false, true};
    QTest::keyClick(w.path_edit(), Qt::Key_V, Qt::AltModifier);
    QTRY_COMPARE(f.ui.Questions().size(), size_t{1});
    QCOMPARE(f.ui.Questions()[0], run::RemoveSoundsQuestion(page));
    QCOMPARE(page_text(), edited.edited_page);

    w.select_controls()->remove_button()->click();
    QCOMPARE(f.ui.Questions().size(), size_t{2});
    QCOMPARE(page_text(), original);
    QVERIFY(!QFile::exists(QString::fromStdString(folder + "/sample.sounds.js")));
    QVERIFY(!QFile::exists(QString::fromStdString(folder + "/sample.res")));
    QCOMPARE(f.ui.Messages(), std::vector<std::string>{run::SoundsRemovedMessage(page, 2)});
    QVERIFY(w.isEnabled());

    // Once more: the page carries no block, and says so.
    w.select_controls()->remove_button()->click();
    QCOMPARE(f.ui.Messages().size(), size_t{2});
    QCOMPARE(f.ui.Messages()[1], html::NoPlayerBlockMessage(page));
    QCOMPARE(page_text(), original);
  }

  // A page whose path is not UTF-8 shows with U+FFFD in the field; left as
  // shown, the field still means that page, byte for byte.
  void aPagePathThatIsNotUtf8IsKeptByteForByte() {
    Fixture f;
    const std::string odd = f.dir.path().toStdString() + "/caf\xe9.htm";
    f.Next();
    QCOMPARE(f.wizard->flow().page(), WizardPage::kOptionSettings);
    QVERIFY(std::rename(f.choices.page.local_html_path.c_str(), odd.c_str()) == 0);
    f.choices.page.local_html_path = odd;
    f.wizard->back_button()->click();
    QVERIFY(f.wizard->path_edit()->text().contains(QChar(0xFFFD)));
    f.Next();
    QVERIFY2(f.ui.calls.empty(), f.ui.calls.empty() ? "" : f.ui.calls[0].text.c_str());
    QCOMPARE(f.wizard->flow().page(), WizardPage::kOptionSettings);
    QCOMPARE(f.choices.page.local_html_path, odd);
  }

  void startSoundOnlyWhileOnTheFirstPage() {
    Fixture stays;
    Fixture moves;
    moves.Next();
    QTest::qWait(app::WizardDialog::kStartSoundDelayMs + 400);
    QCOMPARE(stays.start_sounds, 1);
    QCOMPARE(moves.start_sounds, 0);
  }
};

QTEST_MAIN(TestWizardDialog)
#include "tst_wizard_dialog.moc"
