#pragma once

#include <QDialog>

#include <functional>

class QPushButton;

namespace sonavelt::app {

// "Sonavelt Again?", shown after a run: start again with another page
// ("&YES", accepted) or end ("&NO", Escape or the close button, rejected).
// "&Test Your Web Page Now" is offered only when the run had a page URL; it
// calls test_page and leaves the dialog open.
class AgainDialog : public QDialog {
  Q_OBJECT

 public:
  AgainDialog(bool has_page_url, std::function<void()> test_page, QWidget* owner = nullptr);

  QPushButton* test_button() const { return test_button_; }
  QPushButton* yes_button() const { return yes_button_; }
  QPushButton* no_button() const { return no_button_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::function<void()> test_page_;
  QPushButton* test_button_;
  QPushButton* yes_button_;
  QPushButton* no_button_;
};

}  // namespace sonavelt::app
