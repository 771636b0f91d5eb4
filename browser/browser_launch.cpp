#include "browser/browser_launch.h"

#include <cstdlib>

#include "browser/find_file.h"

namespace sonavelt::browser {
namespace {

std::vector<std::string> SplitCommands(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(':', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

}  // namespace

BrowserSearch BrowserSearch::FromEnvironment() {
  BrowserSearch search;
  if (const char* value = std::getenv("BROWSER")) search.browser_variable = value;
  return search;
}

std::string NoBrowserMessage(const std::string& address, const BrowserSearch& search) {
  const std::string first = search.browsers.size() > 0 ? search.browsers[0] : kFirstBrowser;
  const std::string second = search.browsers.size() > 1 ? search.browsers[1] : kSecondBrowser;
  return "Sonavelt could not locate neither " + first + " nor " + second + ".\r\n" +
         "Please open the link: " + address + " by yourself.";
}

void LaunchBrowser(const std::string& address, UserInterface& ui, ProcessStarter& starter,
                   const BrowserSearch& search) {
  // A $BROWSER entry may carry options ("firefox --new-window"); splitting
  // those would take a shell's rules, so only its program name is used and
  // the address is always the one argument.
  for (const std::string& command : SplitCommands(search.browser_variable)) {
    std::string program = command;
    if (const size_t space = program.find(' '); space != std::string::npos) {
      program.resize(space);
    }
    if (starter.Start({program, address})) return;
  }
  if (!search.desktop_opener.empty() && starter.Start({search.desktop_opener, address})) return;

  for (const std::string& browser : search.browsers) {
    if (starter.Start({browser, address})) return;
    std::string found = FindFileRecursive(search.program_folder, browser, EntryKind::kExecutableFile);
    if (found == kNotFound)
      found = FindFileRecursive(search.whole_filesystem, browser, EntryKind::kExecutableFile);
    if (found != kNotFound) {
      starter.Start({found, address});
      return;
    }
  }
  ui.Tell(BoxStyle::kSystemModal, NoBrowserMessage(address, search));
}

}  // namespace sonavelt::browser
