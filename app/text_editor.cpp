#include "app/text_editor.h"

#include <QProcess>
#include <QStandardPaths>

namespace sonavelt::app {

std::vector<std::string> KnownTextEditors() {
  return {"gnome-text-editor", "gedit", "kate", "kwrite", "mousepad",
          "pluma", "xed", "featherpad", "leafpad", "geany"};
}

bool OpenInTextEditorAndWait(const std::string& path) {
  const QString file = QString::fromStdString(path);
  for (const std::string& editor : KnownTextEditors()) {
    const QString program = QStandardPaths::findExecutable(QString::fromStdString(editor));
    if (program.isEmpty()) continue;
    // execute() waits for the editor; -2 means it could not be started.
    if (QProcess::execute(program, {file}) != -2) return true;
  }
  return QProcess::startDetached(QStringLiteral("xdg-open"), {file});
}

}  // namespace sonavelt::app
