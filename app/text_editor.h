#pragma once

#include <string>
#include <vector>

namespace sonavelt::app {

// Graphical text editors tried in order when the desktop names none.
std::vector<std::string> KnownTextEditors();

// Opens path in a graphical text editor and waits for it to end when the
// editor allows (one that hands the file to a running instance returns at
// once); as a last resort hands the file to the desktop's opener without
// waiting. The path goes to the program as one argument, never through a
// shell. False when nothing could be started.
bool OpenInTextEditorAndWait(const std::string& path);

}  // namespace sonavelt::app
