#include "app/file_chooser.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QTimer>
#include <QTreeView>

namespace sonavelt::app {

QtFileChooser::QtFileChooser(QWidget* parent, QString title, QString filter)
    : parent_(parent), title_(std::move(title)), filter_(std::move(filter)) {}

std::string QtFileChooser::ChooseFile(const std::string& start) {
  QFileDialog dialog(parent_, title_, QString::fromStdString(start), filter_);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setOption(QFileDialog::ReadOnly, false);
  // Extensions match in any letter case (song.MP3, Bell.Wav).
  dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
  // Qt's own dialog: its size, type and date columns as wide as what they
  // show ("31.2 KiB", not "31....KiB"); the name column takes the rest.
  QTimer::singleShot(0, &dialog, [&dialog] {
    if (auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
      QHeaderView* header = view->header();
      header->setStretchLastSection(false);
      header->setSectionResizeMode(0, QHeaderView::Stretch);
      for (int column = 1; column < header->count(); ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
  });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first().toStdString();
}

}  // namespace sonavelt::app
