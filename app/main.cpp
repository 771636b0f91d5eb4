#include <QApplication>
#include <QCommandLineParser>

#include "app/app_resources.h"
#include "app/wizard_app.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  sonavelt::app::SetProgramIdentity();

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Adds entrance, exit and background sounds to a web page."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.process(application);

  return sonavelt::app::RunWizardApp(sonavelt::app::WizardAppOptions{});
}
