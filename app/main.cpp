#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include "app/app_resources.h"
#include "app/wizard_app.h"
#include "base/version.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Brindlecor"));
  QApplication::setApplicationName(QStringLiteral("Sonavelt"));
  QApplication::setApplicationVersion(QLatin1String(sonavelt::kVersion));
  QApplication::setDesktopFileName(QStringLiteral("com.brindlecor.sonavelt"));
  QApplication::setWindowIcon(sonavelt::app::ProgramIcon());

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Adds entrance, exit and background sounds to a web page."));
  parser.addHelpOption();
  parser.addVersionOption();
  QCommandLineOption screenshots(QStringLiteral("screenshots"),
                                 QStringLiteral("Walk through the pages, processing <page>, and save pictures into <folder>."),
                                 QStringLiteral("folder"));
  parser.addOption(screenshots);
  parser.addPositionalArgument(QStringLiteral("page"), QStringLiteral("With --screenshots: the page to process."));
  parser.process(application);

  sonavelt::app::WizardAppOptions options;
  options.screenshot_folder = parser.value(screenshots);
  if (!options.screenshot_folder.isEmpty()) {
    if (parser.positionalArguments().size() != 1) parser.showHelp(2);
    options.screenshot_page = QDir::current().absoluteFilePath(parser.positionalArguments().first());
  }
  return sonavelt::app::RunWizardApp(options);
}
