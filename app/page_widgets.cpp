#include "app/page_widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "run/run_inputs.h"

namespace sonavelt::app {

SelectHtmlFileControls::SelectHtmlFileControls(QWidget* parent) : QWidget(parent) {
  auto* from = new QGroupBox(QStringLiteral("Select Different File From"), this);
  remote_button_ = new QPushButton(QStringLiteral("&Remote Site"), from);
  local_button_ = new QPushButton(QStringLiteral("&Local Machine"), from);
  remote_button_->setIcon(style()->standardIcon(QStyle::SP_DriveNetIcon));
  local_button_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  auto* from_layout = new QHBoxLayout(from);
  from_layout->addWidget(remote_button_);
  from_layout->addWidget(local_button_);
  from_layout->addStretch();

  auto* count_label = new QLabel(QStringLiteral("Set &Total Number of\nSound Combinations"), this);
  count_spin_ = new CountSpinBox(this);
  count_spin_->SetRange(1, run::kMaxSoundCombinations);
  count_label->setBuddy(count_spin_->edit());

  auto* count_row = new QHBoxLayout;
  count_row->addWidget(count_label);
  count_row->addWidget(count_spin_);
  count_row->addStretch();

  remove_button_ = new QPushButton(QStringLiteral("Remo&ve Sounds..."), this);
  remove_button_->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
  remove_button_->setToolTip(
      QStringLiteral("Take the sounds off this page again, with the files Sonavelt put beside it"));
  auto* remove_row = new QHBoxLayout;
  remove_row->addWidget(remove_button_);
  remove_row->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(from);
  layout->addSpacing(8);
  layout->addLayout(count_row);
  layout->addStretch();
  layout->addLayout(remove_row);
}

namespace {

constexpr run::OptionBoxId kBoxOrder[kOptionBoxCount] = {
    run::OptionBoxId::kRandomOrder,  run::OptionBoxId::kSafetyKey,
    run::OptionBoxId::kNoBackground, run::OptionBoxId::kBackgroundInitiallyOn,
    run::OptionBoxId::kEntranceOn,   run::OptionBoxId::kExitOn,
    run::OptionBoxId::kInvisibleApplet, run::OptionBoxId::kBrowserPlayer,
};
constexpr const char* kBoxTexts[kOptionBoxCount] = {
    "Play Sounds in Random Order", "Set Safety Key",    "No Background Sound",
    "Background Sound Initially On", "Entrance Sound On", "Exit Sound On",
    "Use Invisible Applet", "Also Play in Browsers Without Java",
};

constexpr std::pair<run::PlayerPosition, const char*> kPositions[] = {
    {run::PlayerPosition::kInBlock, "Where the Sound Block Is"},
    {run::PlayerPosition::kTopLeft, "Top Left of the Window"},
    {run::PlayerPosition::kTopRight, "Top Right of the Window"},
    {run::PlayerPosition::kBottomLeft, "Bottom Left of the Window"},
    {run::PlayerPosition::kBottomRight, "Bottom Right of the Window"},
};

const run::OptionBox& BoxOf(const run::OptionBoxes& boxes, run::OptionBoxId id) {
  switch (id) {
    case run::OptionBoxId::kRandomOrder: return boxes.random_order;
    case run::OptionBoxId::kSafetyKey: return boxes.safety_key;
    case run::OptionBoxId::kNoBackground: return boxes.no_background;
    case run::OptionBoxId::kBackgroundInitiallyOn: return boxes.background_initially_on;
    case run::OptionBoxId::kEntranceOn: return boxes.entrance_on;
    case run::OptionBoxId::kExitOn: return boxes.exit_on;
    case run::OptionBoxId::kInvisibleApplet: return boxes.invisible_applet;
    case run::OptionBoxId::kBrowserPlayer: return boxes.browser_player;
  }
  return boxes.random_order;
}

}  // namespace

OptionSettingsControls::OptionSettingsControls(QWidget* parent) : QWidget(parent) {
  auto* group = new QGroupBox(this);
  auto* grid = new QGridLayout(group);
  for (int i = 0; i < kOptionBoxCount; ++i) {
    boxes_[i] = new QCheckBox(QString::fromLatin1(kBoxTexts[i]), group);
    if (kBoxOrder[i] == run::OptionBoxId::kBrowserPlayer) {
      boxes_[i]->setToolTip(QStringLiteral(
          "The page also gets a JavaScript player, for browsers that no longer run Java applets."));
    }
    // Two columns: playing on the left, what the page shows on the right.
    grid->addWidget(boxes_[i], i < 4 ? i : i - 4, i < 4 ? 0 : 1);
    const run::OptionBoxId id = kBoxOrder[i];
    connect(boxes_[i], &QCheckBox::clicked, this, [this, id](bool checked) { emit clicked(id, checked); });
  }
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);

  position_list_ = new QComboBox(this);
  for (const auto& [position, text] : kPositions)
    position_list_->addItem(QString::fromLatin1(text), static_cast<int>(position));
  position_list_->setToolTip(QStringLiteral(
      "Where the browser player's sound buttons stand: in the page where the block is, "
      "or fixed in a corner of the window, in view however far the visitor scrolls."));
  auto* position_label = new QLabel(QStringLiteral("Browser &Player's Buttons:"), this);
  position_label->setBuddy(position_list_);
  connect(position_list_, &QComboBox::activated, this, [this](int index) {
    emit positionChosen(static_cast<run::PlayerPosition>(position_list_->itemData(index).toInt()));
  });
  auto* position_row = new QHBoxLayout;
  position_row->addWidget(position_label);
  position_row->addWidget(position_list_);
  position_row->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(group);
  layout->addLayout(position_row);
  // Room between the list and the separator below the page, even when the
  // window is at its smallest.
  layout->addSpacing(8);
  layout->addStretch();
}

void OptionSettingsControls::ShowPosition(run::PlayerPosition position) {
  int index = position_list_->findData(static_cast<int>(position));
  position_list_->setCurrentIndex(index < 0 ? 0 : index);
}

QCheckBox* OptionSettingsControls::box(run::OptionBoxId id) const {
  for (int i = 0; i < kOptionBoxCount; ++i)
    if (kBoxOrder[i] == id) return boxes_[i];
  return nullptr;
}

void OptionSettingsControls::Show(const run::OptionBoxes& boxes) {
  for (int i = 0; i < kOptionBoxCount; ++i) {
    const run::OptionBox& shown = BoxOf(boxes, kBoxOrder[i]);
    boxes_[i]->setChecked(shown.checked);
    boxes_[i]->setEnabled(shown.enabled);
  }
  position_list_->setEnabled(boxes.browser_player.checked && !boxes.invisible_applet.checked);
}

SoundControls::SoundControls(QWidget* parent) : QWidget(parent) {
  browse_button_ = new QPushButton(QStringLiteral("Select &Different File"), this);
  browse_button_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  play_button_ = new QPushButton(QStringLiteral("&Play"), this);
  play_button_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
  wait_label_ = new QLabel(QStringLiteral("Wait...."), this);
  // Hidden but still holding its place, so that nothing moves when it shows.
  QSizePolicy keep = wait_label_->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  wait_label_->setSizePolicy(keep);
  wait_label_->hide();

  auto* file_row = new QHBoxLayout;
  file_row->addWidget(browse_button_);
  file_row->addWidget(play_button_);
  file_row->addWidget(wait_label_);
  file_row->addStretch();

  auto* go_to = new QGroupBox(this);
  go_to_button_ = new QPushButton(QStringLiteral("&Go To"), go_to);
  go_to_spin_ = new CountSpinBox(go_to);
  go_to_caption_ = new QLabel(QStringLiteral("Sound Co&mbination"), go_to);
  go_to_caption_->setBuddy(go_to_spin_->edit());
  auto* go_to_layout = new QHBoxLayout(go_to);
  go_to_layout->addWidget(go_to_button_);
  go_to_layout->addWidget(go_to_spin_);
  go_to_layout->addWidget(go_to_caption_);
  go_to_layout->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(file_row);
  layout->addSpacing(8);
  layout->addWidget(go_to);
  layout->addStretch();
}

void SoundControls::SetGoTo(bool live, int maximum, int value) {
  go_to_button_->setEnabled(live);
  go_to_caption_->setEnabled(live);
  go_to_spin_->SetLive(live);
  if (live) {
    go_to_spin_->SetRange(1, maximum);
    go_to_spin_->SetValue(value);
  }
}

ProgressControls::ProgressControls(QWidget* parent) : QWidget(parent) {
  status_label_ = new QLabel(this);
  status_label_->setWordWrap(true);
  status_label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  status_label_->setMinimumHeight(status_label_->fontMetrics().lineSpacing() * 4);
  percent_label_ = new QLabel(this);
  percent_label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  percent_label_->setMinimumWidth(percent_label_->fontMetrics().horizontalAdvance(QStringLiteral("100%")) + 4);
  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);

  auto* bar_row = new QHBoxLayout;
  bar_row->addWidget(bar_, 1);
  bar_row->addWidget(percent_label_);

  cancel_button_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_button_->setAutoDefault(false);
  cancel_button_->setMinimumWidth(88);
  // The window shows the wait cursor during a run; the button stays a button.
  cancel_button_->setCursor(Qt::ArrowCursor);
  auto* button_row = new QHBoxLayout;
  button_row->addStretch();
  button_row->addWidget(cancel_button_);

  auto* layout = new QVBoxLayout(this);
  layout->addStretch();
  layout->addWidget(status_label_);
  layout->addLayout(bar_row);
  layout->addStretch();
  layout->addLayout(button_row);
  Reset();
}

void ProgressControls::Reset() {
  bar_->setRange(0, 100);
  bar_->setValue(0);
  status_label_->clear();
  percent_label_->clear();
}

}  // namespace sonavelt::app
