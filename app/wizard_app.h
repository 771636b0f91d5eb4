#pragma once

#include <QString>

#include <functional>

namespace sonavelt::app {

class WizardDialog;

struct WizardAppOptions {
  // When set, the local page the wizard starts on instead of the stored one.
  QString start_page;
  // When set, drives the shown wizard instead of the user (tools such as the
  // screenshot tour) and answers the exit status; otherwise the wizard runs
  // until the user ends it.
  std::function<int(WizardDialog&)> drive;
};

// The program: settles the install folder and the stored choices, runs the
// wizard until it ends, and cleans up the work folder. Answers the exit
// status. Needs a QApplication.
int RunWizardApp(const WizardAppOptions& options);

}  // namespace sonavelt::app
