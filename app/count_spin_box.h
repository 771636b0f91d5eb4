#pragma once

#include <QLineEdit>
#include <QWidget>

#include <optional>

class QToolButton;

namespace sonavelt::app {

// A number field with up and down arrows whose text the user may type
// freely in digits. Unlike QSpinBox it never corrects the typed text, so the
// page can check it and say what is wrong with it.
class CountSpinBox : public QWidget {
  Q_OBJECT

 public:
  explicit CountSpinBox(QWidget* parent = nullptr);

  void SetRange(int minimum, int maximum);
  // Shows value as the text.
  void SetValue(int value);
  // The value when the text is a number within the range.
  std::optional<int> Value() const;
  QString text() const { return edit_->text(); }

  QLineEdit* edit() const { return edit_; }
  // Gives the edit the focus with its whole text selected.
  void FocusAndSelect();
  // Shown disabled, the field is empty; enabled again it shows what it held.
  void SetLive(bool live);

 private:
  void Step(int delta);

  QLineEdit* edit_;
  QToolButton* up_;
  QToolButton* down_;
  int minimum_ = 1;
  int maximum_ = 1;
  QString held_text_;
  bool live_ = true;
};

}  // namespace sonavelt::app
