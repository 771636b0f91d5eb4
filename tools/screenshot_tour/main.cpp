// sonavelt-screenshot-tour FOLDER PAGE: the wizard as the user gets it, walked
// through its pages by itself, processing PAGE (a copy: the run edits it), with
// a picture of each page and dialog saved into FOLDER. For the README's
// pictures and visual checks (tools/wizard-screenshots.sh); not installed.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include "app/app_resources.h"
#include "app/wizard_app.h"
#include "tools/screenshot_tour/screenshot_tour.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  sonavelt::app::SetProgramIdentity();

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Walks the wizard through its pages, processing <page>, and saves pictures into <folder>."));
  parser.addHelpOption();
  parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("Where the pictures go."));
  parser.addPositionalArgument(QStringLiteral("page"), QStringLiteral("The page to process."));
  parser.process(application);
  if (parser.positionalArguments().size() != 2) parser.showHelp(2);

  const QString folder = QDir::current().absoluteFilePath(parser.positionalArguments().at(0));
  sonavelt::app::WizardAppOptions options;
  options.start_page = QDir::current().absoluteFilePath(parser.positionalArguments().at(1));
  options.drive = [&folder](sonavelt::app::WizardDialog& wizard) {
    return sonavelt::app::RunScreenshotTour(wizard, folder) ? 0 : 1;
  };
  return sonavelt::app::RunWizardApp(options);
}
