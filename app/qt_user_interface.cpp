#include "app/qt_user_interface.h"

#include <QApplication>
#include <QMessageBox>

namespace sonavelt::app {
namespace {

constexpr char kCaption[] = "Sonavelt";

int ShowBox(QWidget* parent, BoxStyle style, QMessageBox::Icon icon, const std::string& text,
            QMessageBox::StandardButtons buttons, QMessageBox::StandardButton default_button) {
  // While the wizard is hidden (the after-run dialog is up), the box belongs
  // to whatever window the user is looking at.
  if (parent == nullptr || !parent->isVisible()) parent = QApplication::activeWindow();
  QMessageBox box(icon, QString::fromLatin1(kCaption), MessageText(text), buttons, parent);
  box.setDefaultButton(default_button);
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(style == BoxStyle::kSystemModal || parent == nullptr
                            ? Qt::ApplicationModal
                            : Qt::WindowModal);
  return box.exec();
}

}  // namespace

QString MessageText(const std::string& text) {
  QString out = QString::fromStdString(text);
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QChar('\r'), QChar('\n'));
  return out;
}

QtUserInterface::QtUserInterface(QWidget* parent, GuiCallGate& gate)
    : parent_(parent), gate_(gate) {}

void QtUserInterface::Tell(BoxStyle style, const std::string& text) {
  gate_.Call([&] {
    ShowBox(parent_, style,
            style == BoxStyle::kSystemModal ? QMessageBox::Warning : QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
  });
}

bool QtUserInterface::Ask(BoxStyle style, const std::string& question) {
  bool yes = false;
  gate_.Call([&] {
    yes = ShowBox(parent_, style, QMessageBox::Question, question,
                  QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
  });
  return yes;
}

}  // namespace sonavelt::app
