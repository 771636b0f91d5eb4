#pragma once

#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

#include "app/gui_call_gate.h"
#include "app/wizard_flow.h"
#include "run/pipeline_run.h"
#include "run/run_history.h"
#include "run/stop_request.h"
#include "run/sound_preview.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QThread;

namespace sonavelt::remote {
class StatusLine;
}

namespace sonavelt::app {

class BannerStrip;
class HelpSystem;
class OptionSettingsControls;
class ProgressControls;
class RemotePageChooser;
class SelectHtmlFileControls;
class SoundControls;
class SoundOutput;

// What the wizard borrows from the program; every pointer must outlive the
// wizard. Tests hand in fakes.
struct WizardServices {
  UserInterface* ui = nullptr;       // every message and question
  GuiCallGate* gate = nullptr;       // the run's calls into the GUI thread
  FileChooser* html_chooser = nullptr;
  FileChooser* sound_chooser = nullptr;
  FileChooser* applet_chooser = nullptr;
  SoundOutput* output = nullptr;     // the Play button
  run::SoundPreviews* previews = nullptr;  // the Play button's copies of .au sounds
  run::SoundWork* sound_work = nullptr;  // the run's sound checks and conversion
  RemotePageChooser* remote = nullptr;   // may be null: no remote sites
  HelpSystem* help = nullptr;            // may be null: no help
  // The start sound, two seconds after start while the first page shows.
  std::function<void()> start_sound;
  // Opens the settings page of a run in a browser (the Again dialog's test
  // button); called on the GUI thread.
  std::function<void(const std::string& address)> open_test_page;
  // Stores the choices of a completed run (called on the run's thread).
  std::function<void(const run::StoredHistory&)> write_history;
  // Shows a page whose BODY tag cannot be read in a text editor and waits
  // (called on the run's thread).
  std::function<void(const std::string& page_path)> show_broken_page;
  // The end-of-run beep and the run's short pauses; empty: none.
  std::function<void()> beep;
  std::function<void(int milliseconds)> pause;
};

// The wizard window: one page at a time, with a banner, the field label and
// the path field shared by the pages, each page's own controls, and the
// Help, Close, Back and Next/Start buttons. The page flow and its checks are
// WizardFlow's; the run is run::StartRun's, on a worker thread.
class WizardDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kStartSoundDelayMs = 2000;

  WizardDialog(WizardChoices& choices, run::StoredHistory stored, WizardServices services,
               QWidget* parent = nullptr);
  ~WizardDialog() override;

  WizardFlow& flow() { return flow_; }
  const run::StopRequest& stop_request() const { return stop_; }
  // The settings page of the last completed run, for the browser button.
  const std::string& settings_page() const { return settings_page_; }
  bool RunInProgress() const { return run_thread_ != nullptr; }

  // Shows the window and serves events until the wizard ends (Close, the
  // close command, "&NO" after a run); answers the dialog's result. The
  // window is not modal, so that the help window takes input beside it, and
  // hiding it while "Sonavelt Again?" is up does not end the wizard.
  int Run();

  // The controls, for tests and screenshots.
  QLineEdit* path_edit() const { return path_edit_; }
  QLabel* field_label() const { return field_label_; }
  QPushButton* help_button() const { return help_button_; }
  QPushButton* close_button() const { return close_button_; }
  QPushButton* back_button() const { return back_button_; }
  QPushButton* next_button() const { return next_button_; }
  SelectHtmlFileControls* select_controls() const { return select_; }
  OptionSettingsControls* option_controls() const { return options_; }
  SoundControls* sound_controls() const { return sound_; }
  ProgressControls* progress_controls() const { return progress_; }
  QLabel* ftp_status_label() const { return ftp_status_; }
  // The FTP status line for the remote site's dialogs.
  remote::StatusLine& ftp_status_line();

  // The page's help topic, as "&Help" and F1 open it.
  void ShowHelp();
  void ShowAbout();
  // The window's close command (title bar, Alt+F4): during a run, the quit
  // question; otherwise the wizard ends.
  void CloseCommand();
  // The progress page's Cancel (and Escape during a run): the stop
  // question; Yes stops the run at its next checkpoint, the page stays as
  // it was, and the wizard goes back to the page the run started from.
  void CancelCommand();

 signals:
  // A run has ended and its outcome has been acted on.
  void runFinished();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildWindow();
  void BuildActions();
  void ShowPage();
  void FocusOn(FocusField field);
  // The path field's text, or the page's path byte for byte when the field
  // still shows it (see the .cpp).
  std::string PathText() const;
  void Apply(const WizardFlow::Step& step);

  void OnNext();
  void OnBack();
  void OnStart();
  void OnEnterKey();
  void OnGoTo();
  void OnLocalMachine();
  void OnRemoteSite();
  // "Remo&ve Sounds...": asks, then takes the sounds off the page in the
  // path field (run::RemovePagePlayer, on a work thread while the window
  // waits) and shows how it went.
  void OnRemoveSounds();
  void OnBrowseSound();
  void OnPlay();
  void OnStartSoundTimer();

  void StartRun();
  void RunOnWorker();
  void OnRunThreadFinished();
  // "Sonavelt Again?" with the wizard hidden; YES shows the first page again,
  // NO ends the wizard.
  void AfterRun();

  WizardChoices& choices_;
  WizardServices services_;
  WizardFlow flow_;
  run::StopRequest stop_;  // lent to each run, withdrawn before the next
  run::RunOutcome outcome_;
  std::string settings_page_;  // written by the last completed run
  QThread* run_thread_ = nullptr;
  bool quit_confirmed_ = false;
  bool stop_confirmed_ = false;
  QTimer start_sound_timer_;
  bool start_sound_armed_ = true;

  BannerStrip* banner_ = nullptr;
  QLabel* field_label_ = nullptr;
  QLineEdit* path_edit_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  SelectHtmlFileControls* select_ = nullptr;
  OptionSettingsControls* options_ = nullptr;
  SoundControls* sound_ = nullptr;
  ProgressControls* progress_ = nullptr;
  QFrame* separator_ = nullptr;
  QWidget* button_row_ = nullptr;
  QLabel* ftp_status_ = nullptr;
  std::unique_ptr<remote::StatusLine> ftp_status_line_;
  QPushButton* help_button_ = nullptr;
  QPushButton* close_button_ = nullptr;
  QPushButton* back_button_ = nullptr;
  QPushButton* next_button_ = nullptr;
};

}  // namespace sonavelt::app
