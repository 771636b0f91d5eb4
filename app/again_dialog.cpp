#include "app/again_dialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/app_resources.h"

namespace sonavelt::app {

AgainDialog::AgainDialog(bool has_page_url, std::function<void()> test_page, QWidget* owner)
    : QDialog(owner), test_page_(std::move(test_page)) {
  setWindowTitle(QStringLiteral("Sonavelt Again?"));
  setWindowIcon(ProgramIcon());

  test_button_ = new QPushButton(QStringLiteral("&Test Your Web Page Now"), this);
  test_button_->setAutoDefault(false);
  test_button_->setVisible(has_page_url);
  connect(test_button_, &QPushButton::clicked, this, [this] {
    if (test_page_) test_page_();
  });

  auto* group = new QGroupBox(this);
  auto* question = new QLabel(QStringLiteral("Do you want to Sonavelt to another HTML file?"), group);
  question->setWordWrap(true);
  yes_button_ = new QPushButton(QStringLiteral("&YES"), group);
  no_button_ = new QPushButton(QStringLiteral("&NO"), group);
  yes_button_->setDefault(true);
  connect(yes_button_, &QPushButton::clicked, this, &QDialog::accept);
  connect(no_button_, &QPushButton::clicked, this, &QDialog::reject);

  auto* answers = new QHBoxLayout;
  answers->addStretch();
  answers->addWidget(yes_button_);
  answers->addWidget(no_button_);
  answers->addStretch();
  auto* group_layout = new QVBoxLayout(group);
  group_layout->addWidget(question);
  group_layout->addLayout(answers);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(test_button_, 0, Qt::AlignHCenter);
  layout->addWidget(group);
  setMinimumWidth(360);
}

void AgainDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Sits where the (hidden) wizard window was, in front of everything.
  if (QWidget* owner = parentWidget()) move(owner->frameGeometry().topLeft());
  raise();
  activateWindow();
  yes_button_->setFocus();
}

}  // namespace sonavelt::app
