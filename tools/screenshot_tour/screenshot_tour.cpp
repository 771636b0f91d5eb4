#include "tools/screenshot_tour/screenshot_tour.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>

#include <cstdio>

#include "app/again_dialog.h"
#include "app/page_widgets.h"
#include "app/wizard_dialog.h"

namespace sonavelt::app {
namespace {

void Settle(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

class Tour {
 public:
  Tour(WizardDialog& wizard, const QString& folder) : wizard_(wizard), folder_(folder) {}

  bool Run() {
    QDir().mkpath(folder_);
    wizard_.show();
    Settle(500);
    Save(&wizard_, "1-select-html-file");

    QTimer::singleShot(500, [this] {
      if (QWidget* about = QApplication::activeModalWidget()) {
        Save(about, "8-about");
        about->close();
      }
    });
    wizard_.ShowAbout();

    wizard_.ShowHelp();
    Settle(500);
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (auto* help = qobject_cast<QTextBrowser*>(top); help && help->isVisible()) {
        Save(help, "9-help");
        help->close();
      }
    }

    wizard_.select_controls()->count_spin()->edit()->setText(QStringLiteral("2"));
    Next();
    // "Absolute &URL for NAME:" names the page.
    std::string name = wizard_.flow().View().field_label;
    name = name.substr(name.rfind("for ") + 4);
    if (!name.empty() && name.back() == ':') name.pop_back();
    wizard_.path_edit()->setText(QStringLiteral("http://www.example.com/") + QString::fromStdString(name));
    Save(&wizard_, "2-option-settings");
    Next();
    Save(&wizard_, "3-entrance-sound");
    Next();
    Save(&wizard_, "4-exit-sound");
    Next();
    Save(&wizard_, "5-background-sound");
    Next();
    Next();
    Next();
    Save(&wizard_, "6-last-page");

    QTimer watch;
    connect_watch(watch);
    QEventLoop loop;
    QObject::connect(&wizard_, &QDialog::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(180000, &loop, &QEventLoop::quit);
    Next();
    if (wizard_.isVisible() || wizard_.RunInProgress()) loop.exec();
    return ok_ && saved_progress_ && saved_again_;
  }

 private:
  void connect_watch(QTimer& watch) {
    QObject::connect(&watch, &QTimer::timeout, [this] {
      QProgressBar* bar = wizard_.progress_controls()->bar();
      if (!saved_progress_ && wizard_.RunInProgress() && bar->value() >= 50) {
        Save(&wizard_, "7-in-progress");
        saved_progress_ = true;
      }
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* again = qobject_cast<AgainDialog*>(modal)) {
        Save(again, "10-again");
        saved_again_ = true;
        again->no_button()->click();
      } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        std::fprintf(stderr, "message: %s\n", box->text().toLocal8Bit().constData());
        Save(box, "message");
        box->defaultButton() ? box->defaultButton()->click() : box->accept();
      }
    });
    watch.start(50);
  }

  void Next() {
    wizard_.next_button()->click();
    Settle(300);
  }

  void Save(QWidget* widget, const char* name) {
    const QString path = folder_ + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
    if (!widget->grab().save(path)) {
      std::fprintf(stderr, "cannot save %s\n", path.toLocal8Bit().constData());
      ok_ = false;
    }
  }

  WizardDialog& wizard_;
  QString folder_;
  bool ok_ = true;
  bool saved_progress_ = false;
  bool saved_again_ = false;
};

}  // namespace

bool RunScreenshotTour(WizardDialog& wizard, const QString& folder) {
  return Tour(wizard, folder).Run();
}

}  // namespace sonavelt::app
