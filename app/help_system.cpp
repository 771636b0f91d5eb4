#include "app/help_system.h"

#include <QApplication>
#include <algorithm>
#include <QFile>
#include <QScreen>
#include <QFileInfo>
#include <QKeySequence>
#include <QRegularExpression>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>

#include "app/app_resources.h"

namespace sonavelt::app {

QRect PlaceBeside(const QRect& anchor, QSize wanted, const QRect& room, QSize frame) {
  constexpr int kGap = 8;
  const QSize size = (wanted + frame).boundedTo(room.size());
  const int top = std::clamp(anchor.top(), room.top(), room.top() + room.height() - size.height());
  int left = room.left();
  if (anchor.left() + anchor.width() + kGap + size.width() <= room.left() + room.width())
    left = anchor.left() + anchor.width() + kGap;
  else if (anchor.left() - kGap - size.width() >= room.left())
    left = anchor.left() - kGap - size.width();
  return QRect(QPoint(left, top), size);
}

HelpSystem::HelpSystem(const QString& help_file, QObject* parent)
    : QObject(parent), help_file_(help_file) {
  QFile file(help_file_);
  if (file.open(QIODevice::ReadOnly)) html_ = QString::fromUtf8(file.readAll());
}

HelpSystem::~HelpSystem() { Close(); }

QString HelpSystem::AnchorOf(uint32_t context) {
  return QString::number(context, 16).toUpper();
}

void HelpSystem::ShowTopic(uint32_t context, QWidget* beside) {
  if (!beside) beside = QApplication::activeWindow();
  if (beside == browser_) beside = nullptr;
  const bool opening = !browser_ || !browser_->isVisible();
  if (!browser_) {
    // A top-level window of its own, owned by no other window: modal boxes
    // of the wizard leave it usable, so it can be read beside them.
    browser_ = new QTextBrowser;
    browser_->setWindowFlag(Qt::Window, true);
    browser_->setAttribute(Qt::WA_DeleteOnClose);
    browser_->setFocusPolicy(Qt::StrongFocus);
    // Read with the arrow and page keys, closed with Escape or Ctrl+W.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)}) {
      auto* close = new QShortcut(keys, browser_);
      close->setContext(Qt::WindowShortcut);
      connect(close, &QShortcut::activated, browser_.data(), &QWidget::close);
    }
    browser_->setWindowTitle(QStringLiteral("Sonavelt Help"));
    browser_->setWindowIcon(ProgramIcon());
    browser_->setOpenExternalLinks(true);
    if (html_.isEmpty()) {
      browser_->setHtml(QStringLiteral("<p>The help file %1 was not found.</p>")
                            .arg(help_file_.toHtmlEscaped()));
    } else {
      browser_->setSearchPaths({QFileInfo(help_file_).absolutePath()});
      browser_->setSource(QUrl::fromLocalFile(QFileInfo(help_file_).absoluteFilePath()));
    }
  }
  if (!html_.isEmpty()) browser_->scrollToAnchor(AnchorOf(context));
  if (opening) {
    // Beside the window it helps with, where the screen has room, and
    // never taller or wider than the screen's free area (the decorations
    // measured on that window).
    const QScreen* screen = beside ? beside->screen() : QGuiApplication::primaryScreen();
    if (screen) {
      const QRect room = screen->availableGeometry();
      const QRect anchor = beside ? beside->frameGeometry() : QRect(room.topLeft(), QSize(0, 0));
      const QSize frame =
          beside ? beside->frameGeometry().size() - beside->geometry().size() : QSize();
      const QRect placed = PlaceBeside(anchor, QSize(560, 520), room, frame);
      browser_->resize(placed.size() - frame);
      browser_->move(placed.topLeft());
    }
  }
  browser_->show();
  browser_->raise();
  browser_->activateWindow();
  browser_->setFocus(Qt::ActiveWindowFocusReason);
}

QString HelpSystem::TopicText(uint32_t context) const {
  const QRegularExpression topic(
      QStringLiteral("<div class=\"topic\" id=\"%1\">(.*?)</div>").arg(AnchorOf(context)),
      QRegularExpression::DotMatchesEverythingOption);
  const QRegularExpressionMatch match = topic.match(html_);
  return match.hasMatch() ? match.captured(1).trimmed() : QString();
}

void HelpSystem::Close() {
  if (browser_) browser_->close();
}

}  // namespace sonavelt::app
