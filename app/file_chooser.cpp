#include "app/file_chooser.h"

#include <QFileDialog>

namespace sonavelt::app {

QtFileChooser::QtFileChooser(QWidget* parent, QString title, QString filter)
    : parent_(parent), title_(std::move(title)), filter_(std::move(filter)) {}

std::string QtFileChooser::ChooseFile(const std::string& start) {
  QFileDialog dialog(parent_, title_, QString::fromStdString(start), filter_);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first().toStdString();
}

}  // namespace sonavelt::app
