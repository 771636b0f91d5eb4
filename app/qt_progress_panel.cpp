#include "app/qt_progress_panel.h"

#include <QLabel>
#include <QProgressBar>

#include "app/qt_user_interface.h"

namespace sonavelt::app {

QtProgressPanel::QtProgressPanel(ProgressControls& controls, GuiCallGate& gate)
    : controls_(controls), gate_(gate) {}

void QtProgressPanel::SetStatusText(const std::string& text) {
  gate_.Call([&] { controls_.status_label()->setText(MessageText(text)); });
}

void QtProgressPanel::SetPosition(int percent) {
  gate_.Call([&] {
    controls_.bar()->setValue(percent);
    controls_.percent_label()->setText(QString::number(percent) + QLatin1Char('%'));
  });
}

void QtProgressPanel::SetBarOnly(int percent) {
  gate_.Call([&] { controls_.bar()->setValue(percent); });
}

}  // namespace sonavelt::app
