#include "app/count_spin_box.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

namespace sonavelt::app {
namespace {

// Arrow keys in the edit step the value like the arrow buttons.
class StepKeys : public QObject {
 public:
  StepKeys(QObject* parent, std::function<void(int)> step) : QObject(parent), step_(std::move(step)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Up || key == Qt::Key_Down) {
        step_(key == Qt::Key_Up ? 1 : -1);
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void(int)> step_;
};

}  // namespace

CountSpinBox::CountSpinBox(QWidget* parent) : QWidget(parent) {
  edit_ = new QLineEdit(this);
  edit_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit_));
  edit_->setAlignment(Qt::AlignRight);
  edit_->setMaximumWidth(56);
  edit_->installEventFilter(new StepKeys(this, [this](int delta) { Step(delta); }));

  up_ = new QToolButton(this);
  down_ = new QToolButton(this);
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  for (QToolButton* button : {up_, down_}) {
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    button->setFixedSize(18, edit_->sizeHint().height() / 2);
  }
  connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
  connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });

  auto* arrows = new QVBoxLayout;
  arrows->setSpacing(0);
  arrows->setContentsMargins(0, 0, 0, 0);
  arrows->addWidget(up_);
  arrows->addWidget(down_);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(1);
  layout->addWidget(edit_);
  layout->addLayout(arrows);
  setFocusProxy(edit_);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CountSpinBox::SetRange(int minimum, int maximum) {
  minimum_ = minimum;
  maximum_ = maximum;
}

void CountSpinBox::SetValue(int value) {
  edit_->setText(QString::number(value));
  held_text_ = edit_->text();
}

std::optional<int> CountSpinBox::Value() const {
  bool ok = false;
  const int value = edit_->text().trimmed().toInt(&ok);
  if (!ok || value < minimum_ || value > maximum_) return std::nullopt;
  return value;
}

void CountSpinBox::FocusAndSelect() {
  edit_->setFocus(Qt::OtherFocusReason);
  edit_->selectAll();
}

void CountSpinBox::SetLive(bool live) {
  if (live == live_) return;
  live_ = live;
  if (!live) {
    held_text_ = edit_->text();
    edit_->clear();
  } else {
    edit_->setText(held_text_);
  }
  setEnabled(live);
}

void CountSpinBox::Step(int delta) {
  // Like a spin button with a buddy: a text that is not a number in range
  // starts the step from the nearest end.
  int value = Value().value_or(delta > 0 ? minimum_ - 1 : maximum_ + 1) + delta;
  value = std::clamp(value, minimum_, maximum_);
  edit_->setText(QString::number(value));
  edit_->selectAll();
}

}  // namespace sonavelt::app
