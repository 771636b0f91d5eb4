#pragma once

#include <QPointer>
#include <QWidget>

#include "app/gui_call_gate.h"
#include "base/user_interface.h"

namespace sonavelt::app {

// Message boxes with the caption "Sonavelt". System-modal texts block the
// whole program (application-modal); plain ones block their parent window.
// Messages have no icon and an OK button; questions have Yes and No with the
// question icon, or the stop icon, or OK and Cancel. Every box takes the
// focus when it opens: Return and Space press its default button, Escape
// answers No or Cancel.
// "\r\n" in a text becomes a line break. A message that lists more than
// kListedLines lines starting with a tab (the files a stopped run put beside
// the page) shows them in the box's scrollable details area, opened, rather
// than one line each in the box. Safe to call from the run's worker
// thread: the box is shown by the GUI thread through the gate.
class QtUserInterface : public UserInterface {
 public:
  // parent: the window the boxes belong to; may be null. gate must outlive
  // this object.
  QtUserInterface(QWidget* parent, GuiCallGate& gate);

  void Tell(BoxStyle style, const std::string& text) override;
  bool Ask(BoxStyle style, const std::string& question) override;
  bool AskAs(QuestionKind kind, BoxStyle style, const std::string& question) override;
  // With more_waiting: Yes, Yes to All, No and No to All (Return is Yes,
  // Escape No).
  SeriesAnswer AskInSeries(BoxStyle style, const std::string& question, bool more_waiting) override;

  void set_parent(QWidget* parent) { parent_ = parent; }

 private:
  QPointer<QWidget> parent_;
  GuiCallGate& gate_;
};

// The text of a message as a box shows it: "\r\n" and lone "\r" as "\n".
QString MessageText(const std::string& text);

// A message split for a box: its text, and the tab-started list lines
// (without their tabs) when there are more than kListedLines of them, for
// the details area; the text then keeps the line that introduces the list.
inline constexpr int kListedLines = 6;
struct BoxText {
  QString text;
  QString details;  // empty: everything is in text
};
BoxText SplitListForDetails(const std::string& message);

}  // namespace sonavelt::app
