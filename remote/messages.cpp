#include "remote/messages.h"

namespace sonavelt::remote {
namespace {

std::string WithError(std::string text, std::string_view error) {
  if (!error.empty()) text += "\r\n\r\n" + std::string(error);
  return text;
}

}  // namespace

std::string ContactingText(std::string_view server) {
  return "  Contacting " + std::string(server) + " ......";
}

std::string FilesCaption(std::string_view server) { return "Files on " + std::string(server); }

std::string IsDirectoryText(std::string_view item_text) {
  return std::string(item_text) + " is a directory!\r\n\r\nPlease select an HTML file.\r\n";
}

std::string LostConnectionText(std::string_view site) {
  return "Sonavelt has lost connection with:\r\n\r\n\t" + std::string(site) +
         "\r\n\r\nSonavelt is trying to make the FTP connection now.";
}

std::string CannotRetrieveText(std::string_view remote_path, std::string_view site,
                               std::string_view error) {
  return WithError("Sonavelt could not retrieve " + std::string(remote_path) + " from " +
                       std::string(site) + ".",
                   error);
}

std::string CannotTransferText(std::string_view file, std::string_view site,
                               std::string_view error) {
  return WithError(
      "Sonavelt could not transfer " + std::string(file) + " to " + std::string(site) + ".",
      error);
}

std::string CannotEnterFolderText(std::string_view folder, std::string_view site,
                                  std::string_view error) {
  return WithError("Sonavelt could not create or open the folder " + std::string(folder) +
                       " on " + std::string(site) + ".",
                   error);
}

}  // namespace sonavelt::remote
