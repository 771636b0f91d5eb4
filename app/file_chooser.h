#pragma once

#include <QString>

#include "app/wizard_flow.h"

class QWidget;

namespace sonavelt::app {

// An open-file dialog for one kind of file: the file must exist.
class QtFileChooser : public FileChooser {
 public:
  // filter in Qt's form, e.g. "HTML Files (*.htm *.html)".
  QtFileChooser(QWidget* parent, QString title, QString filter);
  // start: a folder, or a file to preselect in its folder.
  std::string ChooseFile(const std::string& start) override;
  void set_parent(QWidget* parent) { parent_ = parent; }

 private:
  QWidget* parent_;
  QString title_;
  QString filter_;
};

}  // namespace sonavelt::app
