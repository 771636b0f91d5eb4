#pragma once

#include <QString>

namespace sonavelt::app {

class WizardDialog;

// Walks the shown wizard through its pages with two combinations, runs it on
// the page it was given, and saves a PNG picture of each page and dialog
// into folder (created if needed). Unexpected message boxes are saved too,
// their text printed, and answered. True when every picture was saved and
// the run completed.
bool RunScreenshotTour(WizardDialog& wizard, const QString& folder);

}  // namespace sonavelt::app
