#include "app/qt_progress_panel.h"

#include <QLabel>
#include <QProgressBar>
#include <QThread>

#include "app/qt_user_interface.h"

namespace sonavelt::app {

QtProgressPanel::QtProgressPanel(ProgressControls& controls, GuiCallGate& gate)
    : controls_(controls), gate_(gate) {}

void QtProgressPanel::SetStatusText(const std::string& text) {
  Report([&text](Pending& p) { p.status_text = text; });
}

void QtProgressPanel::SetPosition(int percent) {
  Report([percent](Pending& p) {
    p.label_percent = percent;
    p.bar_percent = percent;
  });
}

void QtProgressPanel::SetBarOnly(int percent) {
  Report([percent](Pending& p) { p.bar_percent = percent; });
}

void QtProgressPanel::Report(const std::function<void(Pending&)>& update) {
  // The run pauses here while the quit question is open.
  gate_.WaitWhileHeld();
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(pending_->mutex);
    update(*pending_);
    post = !pending_->draw_posted;
    pending_->draw_posted = true;
  }
  if (QThread::currentThread() == controls_.thread()) {
    Draw(controls_, *pending_);
    return;
  }
  if (!post) return;  // the draw on its way takes this state too
  ProgressControls* controls = &controls_;
  std::shared_ptr<Pending> pending = pending_;
  // Posted to the controls: dropped if they are gone before it is delivered.
  QMetaObject::invokeMethod(
      controls, [controls, pending] { Draw(*controls, *pending); }, Qt::QueuedConnection);
}

void QtProgressPanel::Draw(ProgressControls& controls, Pending& pending) {
  std::optional<std::string> text;
  std::optional<int> label;
  std::optional<int> bar;
  {
    std::lock_guard<std::mutex> lock(pending.mutex);
    text.swap(pending.status_text);
    label.swap(pending.label_percent);
    bar.swap(pending.bar_percent);
    pending.draw_posted = false;
  }
  if (text) controls.status_label()->setText(MessageText(*text));
  if (bar) controls.bar()->setValue(*bar);
  if (label) controls.percent_label()->setText(QString::number(*label) + QLatin1Char('%'));
}

}  // namespace sonavelt::app
