#include "app/wizard_app.h"

#include <QApplication>
#include <QDir>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "app/file_chooser.h"
#include "app/gui_call_gate.h"
#include "app/help_system.h"
#include "app/qt_user_interface.h"
#include "app/remote_site_chooser.h"
#include "app/sound_player.h"
#include "app/sound_preview.h"
#include "app/text_editor.h"
#include "app/wizard_dialog.h"
#include "base/file_io.h"
#include "run/audio_sound_work.h"
#include "run/run_launcher.h"
#include "run/run_request.h"
#include "run/sound_preview.h"
#include "run/work_folder.h"
#include "settings/settings_store.h"

namespace sonavelt::app {
namespace {

class QtSoundOutput : public SoundOutput {
 public:
  bool PlayAndWait(const std::string& path) override {
    return player_.PlayAndWait(QString::fromStdString(path));
  }
  SoundPlayer& player() { return player_; }

 private:
  SoundPlayer player_;
};

}  // namespace

int RunWizardApp(const WizardAppOptions& options) {
  run::SettingsStore store;
  run::StartUp start = run::LoadStartUp(store);
  WizardChoices& choices = start.request;
  const run::StoredHistory& stored = start.stored;
  const std::string install_folder = choices.paths.install_folder;
  // The session's private work folder (converted sounds, previews, each
  // run's own folder inside it); removed when the wizard ends. Folders left
  // by killed sessions go first.
  std::unique_ptr<run::WorkFolder> work;
  if (const Status folder = run::OpenWorkFolder(choices.paths, &work); !folder.ok()) {
    std::fprintf(stderr, "%s\n", folder.message().c_str());
    return 1;
  }
  if (!options.start_page.isEmpty()) {
    choices.page = run::PageTarget{};
    choices.page.local_html_path = options.start_page.toStdString();
  }

  GuiCallGate gate;
  QtUserInterface ui(nullptr, gate);
  run::SoundPreviews previews(choices.paths.cache_folder);
  run::AudioSoundWork sound_work(ui);
  QtSoundOutput output;
  HelpSystem help(QString::fromStdString(file_io::JoinPath(install_folder, "help/index.html")));
  RemoteSiteChooser remote_chooser(store, ui,
                                   [&help](uint32_t context) { help.ShowTopic(context); });
  QtFileChooser html_chooser(nullptr, QStringLiteral("Select HTML File"),
                             QStringLiteral("HTML Files (*.htm *.html)"));
  QtFileChooser sound_chooser(nullptr, QStringLiteral("Select Sound File"),
                              QStringLiteral("Sound Files (*.wav *.au *.mp3 *.flac *.ogg *.oga *.opus *.aif *.aiff *.aifc);;"
                                             "Wave Sound (*.wav);;Sound Clip (Basic) (*.au);;MP3 (*.mp3);;"
                                             "FLAC (*.flac);;Ogg Vorbis or Opus (*.ogg *.oga *.opus);;"
                                             "AIFF (*.aif *.aiff *.aifc)"));
  // Finds the applet class file, and the browser player's script when the
  // page gets one.
  QtFileChooser applet_chooser(nullptr, QStringLiteral("Find a File Sonavelt Needs"),
                               QStringLiteral("Java class (*.class);;JavaScript (*.js)"));
  WizardServices services;
  services.ui = &ui;
  services.gate = &gate;
  services.html_chooser = &html_chooser;
  services.sound_chooser = &sound_chooser;
  services.applet_chooser = &applet_chooser;
  services.output = &output;
  services.previews = &previews;
  services.sound_work = &sound_work;
  services.help = &help;
  services.remote = &remote_chooser;
  services.start_sound = [&output] {
    output.player().PlayInBackground(SoundPlayer::DesktopStartSound());
  };
  services.open_test_page = [&ui](const std::string& address) {
    Show(ui, run::OpenInBrowser(address));
  };
  services.write_history = [&store, &gate, &ui](const run::StoredHistory& history) {
    // The settings file belongs to the GUI thread.
    Status stored;
    gate.Call([&] { stored = run::StoreChoices(store, history); });
    Show(ui, stored);
  };
  services.show_broken_page = [](const std::string& page) { OpenInTextEditorAndWait(page); };
  services.beep = [] { QApplication::beep(); };
  services.pause = [](int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  };

  int status = 0;
  {
    WizardDialog wizard(choices, stored, services);
    ui.set_parent(&wizard);
    for (QtFileChooser* chooser : {&html_chooser, &sound_chooser, &applet_chooser})
      chooser->set_parent(&wizard);
    if (options.drive) {
      status = options.drive(wizard);
    } else {
      wizard.Run();
    }
    ui.set_parent(nullptr);
    help.Close();
  }
  return status;
}

}  // namespace sonavelt::app
