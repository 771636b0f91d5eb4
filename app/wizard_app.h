#pragma once

#include <QString>

namespace sonavelt::app {

struct WizardAppOptions {
  // When set, the wizard walks through its pages by itself, saves a picture
  // of each into this folder and ends (for the README and visual checks).
  QString screenshot_folder;
  // The local page the tour processes (a copy: the run edits it).
  QString screenshot_page;
};

// The program: settles the install folder and the stored choices, runs the
// wizard until it ends, and cleans up the work folder. Answers the exit
// status. Needs a QApplication.
int RunWizardApp(const WizardAppOptions& options);

}  // namespace sonavelt::app
