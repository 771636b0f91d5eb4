#include "app/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/app_resources.h"
#include "base/version.h"

namespace sonavelt::app {

AboutDialog::AboutDialog(std::function<void()> play_start_sound, QWidget* parent)
    : QDialog(parent), play_start_sound_(std::move(play_start_sound)) {
  setWindowTitle(QStringLiteral("About Sonavelt"));
  setWindowIcon(ProgramIcon());

  auto* picture = new QLabel(this);
  picture->setPixmap(ProgramIcon().pixmap(64, 64));
  picture->setAlignment(Qt::AlignTop);

  auto* name = new QLabel(QStringLiteral("Sonavelt %1").arg(QLatin1String(kVersion)), this);
  QFont font = name->font();
  font.setPointSizeF(font.pointSizeF() * 1.4);
  font.setBold(true);
  name->setFont(font);
  auto* blurb = new QLabel(QStringLiteral("Entrance, exit and background sounds for your web pages."), this);
  blurb->setWordWrap(true);

  auto* text = new QVBoxLayout;
  text->addWidget(name);
  text->addWidget(blurb);
  text->addStretch();

  auto* top = new QHBoxLayout;
  top->addWidget(picture);
  top->addSpacing(12);
  top->addLayout(text, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(buttons);
  setMinimumWidth(340);

  start_sound_timer_.setSingleShot(true);
  start_sound_timer_.setInterval(kStartSoundDelayMs);
  connect(&start_sound_timer_, &QTimer::timeout, this, [this] {
    if (play_start_sound_) play_start_sound_();
  });
}

void AboutDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  start_sound_timer_.start();
}

void AboutDialog::done(int result) {
  start_sound_timer_.stop();
  QDialog::done(result);
}

}  // namespace sonavelt::app
