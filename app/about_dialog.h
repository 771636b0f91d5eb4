#pragma once

#include <QDialog>
#include <QTimer>

#include <functional>

namespace sonavelt::app {

// "About Sonavelt": the product picture, "Sonavelt " with the version of
// base/version.h ("Sonavelt 1.0"), and OK. Two seconds after it opens it
// plays the start sound once; closed sooner, it plays none.
class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kStartSoundDelayMs = 2000;

  // play_start_sound: called once when the delay has passed while the
  // dialog is still open.
  AboutDialog(std::function<void()> play_start_sound, QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  std::function<void()> play_start_sound_;
  QTimer start_sound_timer_;
};

}  // namespace sonavelt::app
