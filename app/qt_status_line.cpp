#include "app/qt_status_line.h"

namespace sonavelt::app {

QtStatusLine::QtStatusLine(QLabel& label, GuiCallGate& gate) : label_(label), gate_(gate) {}

void QtStatusLine::Show(const std::string& text) {
  gate_.Call([&] {
    const QString full = QString::fromStdString(text);
    label_.setToolTip(full);
    label_.setText(label_.fontMetrics().elidedText(full, Qt::ElideMiddle, label_.width()));
    label_.show();
    // The work that follows blocks its thread; the text must be on screen now.
    label_.repaint();
  });
}

void QtStatusLine::Hide() {
  gate_.Call([&] { label_.hide(); });
}

}  // namespace sonavelt::app
