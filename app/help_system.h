#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

#include <cstdint>

#include <QTextBrowser>

#include "app/help_ids.h"
class QWidget;

namespace sonavelt::app {

// Where a window of `wanted` size goes beside `anchor` (a window's frame)
// within `room` (the screen's available area), `frame` being the room its
// own decorations take (left+right, top+bottom): never larger than the room;
// at the anchor's top, right of it where it fits, else left of it, else at
// the room's left edge (over the anchor's left side, clear of the buttons at
// its bottom right). Answers the window's frame rectangle.
QRect PlaceBeside(const QRect& anchor, QSize wanted, const QRect& room, QSize frame = QSize(0, 0));

// The program's help: one HTML file whose topics are marked by anchors named
// after their context numbers (app/help_ids.h) in upper-case hexadecimal
// ("80660461"). Topics
// open in a help window of their own; a topic's text also serves as the
// What's This text of the controls that carry its context.
class HelpSystem : public QObject {
  Q_OBJECT

 public:
  // help_file: the help's index.html; it need not exist (the window then says
  // so).
  explicit HelpSystem(const QString& help_file, QObject* parent = nullptr);
  ~HelpSystem() override;

  static QString AnchorOf(uint32_t context);

  // Opens (or raises) the help window at the topic of context. A window that
  // opens goes beside `beside` (the active window when null) where the
  // screen has room (PlaceBeside).
  void ShowTopic(uint32_t context, QWidget* beside = nullptr);
  // The topic's body as rich text, from its <div class="topic" id="...">;
  // empty when the help has no such topic.
  QString TopicText(uint32_t context) const;
  // Closes the help window if it is open.
  void Close();

  QTextBrowser* browser() const { return browser_; }

 private:
  QString help_file_;
  QString html_;
  QPointer<QTextBrowser> browser_;
};

}  // namespace sonavelt::app
