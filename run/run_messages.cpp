#include "run/run_messages.h"

#include "run/startup.h"

namespace sonavelt::run {

std::string CannotReadFileMessage(const std::string& path, const std::string& reason) {
  return path + " cannot be read" + (reason.empty() ? "" : ": " + reason) + ".";
}

std::string CannotWriteFileMessage(const std::string& path, const std::string& reason) {
  return path + " cannot be written" + (reason.empty() ? "" : ": " + reason) +
         ".\r\nSonavelt stopped; nothing was left half-written.";
}

std::string OutOfMemoryMessage() {
  return "Sonavelt ran out of memory and stopped the run.\r\n"
         "Close other programs, or choose a smaller page or shorter sounds, and try again.";
}

std::string ConvertedSoundMissingMessage(const std::string& sound_path,
                                         const std::string& au_path) {
  return sound_path + " could not be converted to " + au_path +
         ".\r\nPlease select another audio file.";
}

std::string CopyFailedMessage(const std::vector<std::string>& failures) {
  std::string text = "Sonavelt could not copy these files beside the page:\r\n";
  for (const std::string& f : failures) text += "\r\n\t" + f;
  text += "\r\n\r\nThe page has been edited, but it will not play its sounds until they are there.";
  return text;
}

std::string AppletClassMissingMessage(const std::string& class_path) {
  return std::string(kAppletClassFileName) + " was not found.\r\n" + class_path;
}

std::string PlayerScriptMissingMessage(const std::string& script_path) {
  return std::string(kPlayerScriptFileName) + " was not found.\r\n" + script_path;
}

std::string RemoteUnavailableMessage(const std::string& site) {
  return "Sonavelt cannot reach " + site + ": remote pages are not available here.";
}

}  // namespace sonavelt::run
