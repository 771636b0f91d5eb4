#include "run/run_messages.h"

#include "run/startup.h"

#include <string>

namespace sonavelt::run {

std::string CannotReadFileMessage(const std::string& path, const std::string& reason) {
  return path + " cannot be read" + (reason.empty() ? "" : ": " + reason) + ".";
}

std::string CannotWriteFileMessage(const std::string& path, const std::string& reason) {
  return path + " cannot be written" + (reason.empty() ? "" : ": " + reason) +
         ".\r\nSonavelt stopped; nothing was left half-written.";
}

std::string SampleCopyFailedMessage(const std::string& copy, const std::string& shipped,
                                    const std::string& reason) {
  return "Copying the sample page " + shipped + " to " + copy + " failed" +
         (reason.empty() ? "" : ": " + reason) +
         ".\r\nThe sample page itself is never edited. Please select an HTML file of your own.";
}

std::string RemoveSoundsQuestion(const std::string& page) {
  return "Take the sounds off " + page + "?\r\n\r\n"
         "The player block goes from the page, and the page's .res and data files go,\r\n"
         "with the sounds in its audio folder that no other page there uses.";
}

std::string SoundsRemovedMessage(const std::string& page, size_t files) {
  return "The sounds were taken off " + page + ", and " + std::to_string(files) +
         (files == 1 ? " file" : " files") + " beside it went with them.";
}

std::string NoBodyEditRecordMessage(const std::string& page, const std::string& data_file) {
  return "The sounds were taken off " + page + ", but " + data_file +
         " held no record of what the first run did to the BODY tag,\r\n"
         "so the BODY tag was left as it is.";
}

std::string FilesNotRemovedMessage(const std::string& page,
                                   const std::vector<std::string>& failures) {
  std::string text = "The sounds were taken off " + page +
                     ", but these files could not be removed (the page no longer uses them):";
  for (const std::string& failure : failures) text += "\r\n" + failure;
  return text;
}

std::string SiteNotChangedMessage(const std::string& reason) {
  return reason + "\r\nThe page on the site was not changed.";
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
  return text;
}

std::string ChoicesNotStoredMessage(const std::string& settings_file) {
  return "The choices of this run were not stored: " + settings_file + " cannot be written.";
}

std::string AddressNotRememberedMessage(const std::string& settings_file) {
  return "The address was not remembered: " + settings_file + " cannot be written.";
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

std::string PageKeptMessage(const std::string& page, const std::vector<std::string>& placed) {
  std::string text = page + " was left as it was.";
  if (placed.empty()) return text + "\r\nNothing was put beside it.";
  text += placed.size() == 1 ? std::string("\r\nThis file was put beside it:\r\n")
                             : "\r\nThese " + std::to_string(placed.size()) +
                                   " files were put beside it:\r\n";
  for (const std::string& file : placed) text += "\r\n\t" + file;
  return text;
}

std::string PageReadOnlyMessage(const std::string& page) {
  return page + " is read-only: Sonavelt may not change it.\r\n"
         "Nothing was written. Allow writing to the page and run again.";
}

std::string PageBusyMessage(const std::string& page) {
  return page + " is being changed by another Sonavelt run.\r\n"
         "Nothing was written. Run again when that run has finished.";
}

std::string WaitingForPageText(const std::string& page_name) {
  return "Waiting for another Sonavelt run on " + page_name + " to finish.";
}

std::string PageLockFailedMessage(const std::string& page, const std::string& lock_folder,
                                  const std::string& reason) {
  return "Sonavelt cannot lock " + page + " for this run: " + lock_folder + " cannot be written" +
         (reason.empty() ? "" : ": " + reason) + ".\r\nNothing was written.";
}

std::string ForeignLinkMessage(const std::string& page, const std::string& link) {
  return link + " is a symbolic link that another user made: Sonavelt does not write through "
         "it.\r\n" + page + " was left as it was. Nothing was written. Remove the link (or "
         "replace it with a file of your own) and run again.";
}

std::string FolderBusyMessage(const std::string& page, const std::string& folder) {
  return "Another Sonavelt run is placing files in " + folder + ".\r\n" + page +
         " was left as it was. Run again when that run has finished.";
}

std::string WaitingForFolderText(const std::string& folder) {
  return "Waiting for another Sonavelt run in " + folder + " to finish.";
}

std::string WorkFolderFailedMessage(const std::string& parent, const std::string& reason) {
  return "Sonavelt cannot make its work folder in " + parent +
         (reason.empty() ? "" : ": " + reason) + ".\r\nNothing was written.";
}

}  // namespace sonavelt::run
