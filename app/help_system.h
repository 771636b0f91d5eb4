#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>

#include <QTextBrowser>

#include "app/help_ids.h"
class QWidget;

namespace sonavelt::app {

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

  // Opens (or raises) the help window at the topic of context.
  void ShowTopic(uint32_t context);
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
