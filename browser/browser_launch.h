#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "browser/process_starter.h"

namespace sonavelt::browser {

// The two browsers the launch knows by program name, in the order tried.
inline constexpr const char* kFirstBrowser = "firefox";
inline constexpr const char* kSecondBrowser = "chromium";

// Where LaunchBrowser looks. Defaults describe this machine; tests point the
// folders at folders of their own.
struct BrowserSearch {
  // The user's $BROWSER: one or more commands separated by ':'; empty when
  // unset.
  std::string browser_variable;
  // The desktop's opener for an address.
  std::string desktop_opener = "xdg-open";
  std::vector<std::string> browsers = {kFirstBrowser, kSecondBrowser};
  // The folders of the program search path, in order ($PATH).
  std::vector<std::string> path_folders;
  // Searched in this order, each with everything below it, for a browser not
  // on the program search path: the program folder, then the other places
  // programs are installed in (/usr holds /usr/local).
  std::vector<std::string> search_roots = {"/opt", "/usr", "/snap/bin",
                                           "/var/lib/flatpak/exports/bin"};

  // The defaults with browser_variable and path_folders taken from the
  // environment, and the user's own Flatpak export folder added.
  static BrowserSearch FromEnvironment();
};

// The message shown when no browser could be found or started. When
// $BROWSER was set, its failure is named first.
std::string NoBrowserMessage(const std::string& address, const BrowserSearch& search);

// The argument vector of one $BROWSER command for address. "%s" in the
// command stands for the address and "%%" for a "%"; a command without "%s"
// gets the address as its last argument. The command is split into words at
// blanks outside quotes ('...' and "..." group, a backslash escapes the next
// character), with no other shell processing; leading words that together
// name an existing program ("/opt/my browser/run") are taken as one.
// Empty when the command holds no program.
std::vector<std::string> BrowserCommandArgs(const std::string& command, const std::string& address);

// Opens address (a path or URL, passed on as one argument, never quoted) in a
// web browser, stopping at the first step that starts one:
//   1. each command of $BROWSER, then the desktop opener;
//   2. for each known browser in turn: its name in a folder of the program
//      search path; else FindFileRecursive for a program of that name under
//      each of the search roots in turn; a found file is started and the
//      launch stops whatever the result.
// Only trusted programs are looked up (EntryKind::kTrustedProgram): never a
// file in a folder everyone may write to or one owned by another user.
// With nothing started, answers NoBrowserMessage (system-modal box) for the
// caller to show. Blocks its caller for the whole search.
Status LaunchBrowser(const std::string& address, ProcessStarter& starter,
                     const BrowserSearch& search);

}  // namespace sonavelt::browser
