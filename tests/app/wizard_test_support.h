#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <deque>
#include <string>
#include <vector>

#include "app/sound_preview.h"
#include "app/wizard_flow.h"
#include "run/sound_lists.h"
#include "run/startup.h"

namespace sonavelt::testing {

// Answers file dialogs from a script; an empty answer is a cancel.
class ScriptedChooser : public app::FileChooser {
 public:
  std::string ChooseFile(const std::string& start) override {
    starts.push_back(start);
    if (answers.empty()) return {};
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::deque<std::string> answers;
  std::vector<std::string> starts;
};

// Records what it was asked to play.
class RecordingOutput : public app::SoundOutput {
 public:
  bool PlayAndWait(const std::string& path) override {
    played.push_back(path);
    return works;
  }
  std::vector<std::string> played;
  bool works = true;
};

inline void Touch(const std::string& path, const QByteArray& bytes = "x") {
  QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
  QFile file(QString::fromStdString(path));
  file.open(QIODevice::WriteOnly);
  file.write(bytes);
}

// The build tree's install folder, with the shipped sounds, sample page and
// applet class file.
inline std::string BuildDataDir() { return qEnvironmentVariable("SONAVELT_BUILD_DATA_DIR").toStdString(); }

// An install folder of the test's own: a page, the applet class file, the
// browser player, and
// stand-ins for the default sounds (enough for the wizard's existence and
// extension checks, not for a run).
struct FakeInstall {
  FakeInstall() {
    folder = dir.path().toStdString();
    paths = run::MakeInstallPaths(folder, folder + "/user");
    page = folder + "/site/page.htm";
    Touch(page, "<html><body></body></html>");
    Touch(paths.applet_class_path);
    Touch(paths.player_script_path);
    const run::DefaultSoundLists defaults = run::MakeDefaultSoundLists(folder);
    for (const auto* list : {&defaults.entrance, &defaults.exit, &defaults.background})
      for (const std::string& sound : *list) Touch(sound);
  }
  app::WizardChoices Choices() const {
    app::WizardChoices choices;
    choices.paths = paths;
    choices.page.local_html_path = page;
    return choices;
  }

  QTemporaryDir dir;
  std::string folder;
  run::InstallPaths paths;
  std::string page;
};

}  // namespace sonavelt::testing
