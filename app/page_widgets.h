#pragma once

#include <QWidget>

#include "app/count_spin_box.h"
#include "run/choice_rules.h"
#include "run/progress_panel.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

// The controls each wizard page shows besides the shared path field. Each
// is a plain widget: the window wires their signals to the page flow.
namespace sonavelt::app {

// SelectHtmlFile: where to pick the page from, and how many combinations.
class SelectHtmlFileControls : public QWidget {
  Q_OBJECT

 public:
  explicit SelectHtmlFileControls(QWidget* parent = nullptr);

  QPushButton* remote_button() const { return remote_button_; }
  QPushButton* local_button() const { return local_button_; }
  CountSpinBox* count_spin() const { return count_spin_; }
  // Takes the sounds off the page in the path field again (after asking).
  QPushButton* remove_button() const { return remove_button_; }

 private:
  QPushButton* remote_button_;
  QPushButton* local_button_;
  QPushButton* remove_button_;
  CountSpinBox* count_spin_;
};

// OptionSettings: the option check boxes: the seven of the applet, and
// whether the page also gets the JavaScript player; and where that player's
// control stands.
inline constexpr int kOptionBoxCount = 8;
class OptionSettingsControls : public QWidget {
  Q_OBJECT

 public:
  explicit OptionSettingsControls(QWidget* parent = nullptr);

  // Shows the boxes as given, without emitting clicked. The position list
  // is live only while the browser player is on with a visible control.
  void Show(const run::OptionBoxes& boxes);
  // Shows the position, without emitting positionChosen.
  void ShowPosition(run::PlayerPosition position);
  QCheckBox* box(run::OptionBoxId id) const;
  QComboBox* position_list() const { return position_list_; }

 signals:
  // The user set a box; the page's rules decide what it shows next.
  void clicked(run::OptionBoxId id, bool checked);
  // The user picked where the browser player's control stands.
  void positionChosen(run::PlayerPosition position);

 private:
  QCheckBox* boxes_[kOptionBoxCount];
  QComboBox* position_list_;
};

// The sound pages: another file, play, and Go To another combination.
class SoundControls : public QWidget {
  Q_OBJECT

 public:
  explicit SoundControls(QWidget* parent = nullptr);

  QPushButton* browse_button() const { return browse_button_; }
  QPushButton* play_button() const { return play_button_; }
  QLabel* wait_label() const { return wait_label_; }
  QPushButton* go_to_button() const { return go_to_button_; }
  CountSpinBox* go_to_spin() const { return go_to_spin_; }
  // Go To live with the range 1..maximum showing value, or shown disabled.
  void SetGoTo(bool live, int maximum, int value);

 private:
  QPushButton* browse_button_;
  QPushButton* play_button_;
  QLabel* wait_label_;
  QPushButton* go_to_button_;
  CountSpinBox* go_to_spin_;
  QLabel* go_to_caption_;
};

// InProgress: the run's status text, percentage and bar.
class ProgressControls : public QWidget {
  Q_OBJECT

 public:
  explicit ProgressControls(QWidget* parent = nullptr);

  QLabel* status_label() const { return status_label_; }
  QLabel* percent_label() const { return percent_label_; }
  QProgressBar* bar() const { return bar_; }
  // "Cancel": asks before stopping the run (as Escape does).
  QPushButton* cancel_button() const { return cancel_button_; }
  // Bar range 0 to 100 at 0; empty status.
  void Reset();

 private:
  QPushButton* cancel_button_;
  QLabel* status_label_;
  QLabel* percent_label_;
  QProgressBar* bar_;
};

}  // namespace sonavelt::app
