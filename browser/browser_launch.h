#pragma once

#include <string>
#include <vector>

#include "base/user_interface.h"
#include "browser/process_starter.h"

namespace sonavelt::browser {

// The two browsers the launch knows by program name, in the order tried.
inline constexpr const char* kFirstBrowser = "firefox";
inline constexpr const char* kSecondBrowser = "chromium";

// Where LaunchBrowser looks. Defaults describe this machine; tests point the
// roots at folders of their own.
struct BrowserSearch {
  // The user's $BROWSER: one or more commands separated by ':'; empty when
  // unset.
  std::string browser_variable;
  // The desktop's opener for an address.
  std::string desktop_opener = "xdg-open";
  std::vector<std::string> browsers = {kFirstBrowser, kSecondBrowser};
  // Searched in this order for a browser not on the program search path:
  // the program folder, then the whole filesystem.
  std::string program_folder = "/opt";
  std::string whole_filesystem = "/";

  // The defaults with browser_variable taken from the environment.
  static BrowserSearch FromEnvironment();
};

// The message shown when no browser could be found or started.
std::string NoBrowserMessage(const std::string& address, const BrowserSearch& search);

// Opens address (a path or URL, passed on as one argument, never quoted) in a
// web browser, stopping at the first step that starts one:
//   1. each command of $BROWSER, then the desktop opener;
//   2. for each known browser in turn: its name on the program search path;
//      else FindFileRecursive for an executable of that name in the program
//      folder, then in the whole filesystem; a found file is started and the
//      launch stops whatever the result.
// With nothing started, tells ui NoBrowserMessage (system-modal). Blocks its
// caller for the whole search.
void LaunchBrowser(const std::string& address, UserInterface& ui,
                   ProcessStarter& starter, const BrowserSearch& search);

}  // namespace sonavelt::browser
