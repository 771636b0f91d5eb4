#include "app/qt_user_interface.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace sonavelt::app {
namespace {

constexpr char kCaption[] = "Sonavelt";

// The window a new box belongs to: the dialog on top when one is open (a box
// owned by a window that dialog blocks would be blocked too, taking neither
// keys nor clicks), else the given parent while it shows, else the window
// the user is looking at.
QWidget* OwnerFor(QWidget* parent) {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (parent != nullptr && parent->isVisible()) return parent;
  return QApplication::activeWindow();
}

// The messages break their own lines; a box that wrapped them again would
// break a path or an address at its blanks. The box is made wide enough for
// its longest line, as long as that fits on the screen.
void KeepLinesWhole(QMessageBox& box) {
  auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  if (label == nullptr) return;
  int widest = 0;
  for (const QString& line : box.text().split(QLatin1Char('\n')))
    widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
  const QScreen* screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
  const int room = screen ? screen->availableGeometry().width() * 9 / 10 - 120 : widest;
  label->setMinimumWidth(std::min(widest + 2, std::max(room, 0)));
}

int ShowBox(QWidget* parent, BoxStyle style, QMessageBox::Icon icon, const std::string& text,
            QMessageBox::StandardButtons buttons, QMessageBox::StandardButton default_button,
            QMessageBox::StandardButton escape_button) {
  QWidget* owner = OwnerFor(parent);
  const BoxText split = SplitListForDetails(text);
  QMessageBox box(icon, QString::fromLatin1(kCaption), split.text, buttons, owner);
  if (!split.details.isEmpty()) box.setDetailedText(split.details);
  box.setDefaultButton(default_button);
  box.setEscapeButton(escape_button);
  box.setTextFormat(Qt::PlainText);
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  KeepLinesWhole(box);
  box.setWindowModality(style == BoxStyle::kSystemModal || owner == nullptr
                            ? Qt::ApplicationModal
                            : Qt::WindowModal);
  // Return, Space and Escape must reach the box at once, even when it was
  // opened from another thread or while another window had the focus.
  QTimer::singleShot(0, &box, [&box] {
    // The list is what the message is about: its area opens at once.
    if (!box.detailedText().isEmpty()) {
      for (QAbstractButton* button : box.buttons())
        if (box.buttonRole(button) == QMessageBox::ActionRole) button->click();
    }
    box.raise();
    box.activateWindow();
    if (QAbstractButton* button = box.defaultButton()) button->setFocus(Qt::ActiveWindowFocusReason);
  });
  return box.exec();
}

}  // namespace

QString MessageText(const std::string& text) {
  QString out = QString::fromStdString(text);
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QChar('\r'), QChar('\n'));
  return out;
}

BoxText SplitListForDetails(const std::string& message) {
  const QStringList lines = MessageText(message).split(QLatin1Char('\n'));
  int listed = 0;
  for (const QString& line : lines)
    if (line.startsWith(QLatin1Char('\t'))) ++listed;
  if (listed <= kListedLines) return {lines.join(QLatin1Char('\n')), {}};
  QStringList text, details;
  for (const QString& line : lines) {
    if (line.startsWith(QLatin1Char('\t'))) {
      details << line.mid(1);
    } else {
      text << line;
    }
  }
  // The empty line that stood before the list goes with it.
  while (!text.isEmpty() && text.back().isEmpty()) text.pop_back();
  return {text.join(QLatin1Char('\n')), details.join(QLatin1Char('\n'))};
}

QtUserInterface::QtUserInterface(QWidget* parent, GuiCallGate& gate)
    : parent_(parent), gate_(gate) {}

void QtUserInterface::Tell(BoxStyle style, const std::string& text) {
  // Plain and system-modal messages alike carry no icon: they only inform.
  gate_.Call([&] {
    ShowBox(parent_, style, QMessageBox::NoIcon, text, QMessageBox::Ok, QMessageBox::Ok,
            QMessageBox::Ok);
  });
}

bool QtUserInterface::Ask(BoxStyle style, const std::string& question) {
  return AskAs(QuestionKind::kYesNo, style, question);
}

bool QtUserInterface::AskAs(QuestionKind kind, BoxStyle style, const std::string& question) {
  QMessageBox::Icon icon = QMessageBox::Question;
  QMessageBox::StandardButton yes = QMessageBox::Yes;
  QMessageBox::StandardButton no = QMessageBox::No;
  if (kind == QuestionKind::kYesNoStop) icon = QMessageBox::Critical;
  if (kind == QuestionKind::kOkCancel) {
    icon = QMessageBox::NoIcon;
    yes = QMessageBox::Ok;
    no = QMessageBox::Cancel;
  }
  bool answer = false;
  gate_.Call([&] { answer = ShowBox(parent_, style, icon, question, yes | no, yes, no) == yes; });
  return answer;
}

SeriesAnswer QtUserInterface::AskInSeries(BoxStyle style, const std::string& question,
                                          bool more_waiting) {
  if (!more_waiting) return Ask(style, question) ? SeriesAnswer::kYes : SeriesAnswer::kNo;
  int answer = QMessageBox::No;
  gate_.Call([&] {
    answer = ShowBox(parent_, style, QMessageBox::Question, question,
                     QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::NoToAll,
                     QMessageBox::Yes, QMessageBox::No);
  });
  switch (answer) {
    case QMessageBox::Yes: return SeriesAnswer::kYes;
    case QMessageBox::YesToAll: return SeriesAnswer::kYesToAll;
    case QMessageBox::NoToAll: return SeriesAnswer::kNoToAll;
    default: return SeriesAnswer::kNo;
  }
}

}  // namespace sonavelt::app
