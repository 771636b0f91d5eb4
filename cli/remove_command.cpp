#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/remote_login.h"
#include "cli/stop_signals.h"
#include "cli/terminal_user_interface.h"
#include "run/page_removal.h"
#include "run/run_launcher.h"
#include "settings/settings_store.h"

// sonavelt-cli remove: takes the sounds off a page again, local or on a
// site, as one transaction (run/page_removal.h).
namespace sonavelt::cli {
namespace {

constexpr char kRemoveHelp[] =
    "usage: sonavelt-cli remove [OPTIONS] PAGE\n"
    "\n"
    "Takes the sounds off a page again: the player block goes from the page, and\n"
    "so does what the first run did to its BODY tag, so a page nobody else changed\n"
    "is byte for byte the page before its first run. Then the page's .res file and\n"
    "its data files (NAME.sounds.js, NAME.local.js) go, with the sounds and browser\n"
    "copies in audio/ that no other page in the folder uses; the class file and\n"
    "sonavelt-player.js go once no page there uses them, and audio/ when it is left\n"
    "empty. The page is replaced first, so it never names a file that is gone;\n"
    "nothing is changed when it carries no player block.\n"
    "PAGE is a local page or a page on a site, as for run (ftp://, ftpes://,\n"
    "ftps://, sftp://; the password from SONAVELT_FTP_PASSWORD or the terminal).\n"
    "It waits up to 30 seconds for a run on the same page.\n"
    "\n"
    "options:\n"
    "  --ca-file FILE         a site's own CA certificates (PEM), for ftpes/ftps\n"
    "  --host-key FP          the SSH host key's SHA256 fingerprint, for sftp\n"
    "  --identity FILE        an SSH private key to log in with, for sftp\n"
    "  --help\n"
    "  --                     ends the options: what follows is the page\n"
    "\n"
    "The page and every file removed go to standard output, one per line\n"
    "(page:, removed:); messages to standard error.\n"
    "\n"
    "exit status:\n"
    "  0  the sounds were taken off\n"
    "  1  nothing was changed: the page carries no player block, may not be\n"
    "     written, or is busy; or the page was restored but some of its files\n"
    "     could not be removed (the message lists them)\n"
    "  2  command-line error\n"
    "  3  the site could not be reached or refused a transfer, a file could not\n"
    "     be read, or Ctrl-C; nothing was changed\n";

}  // namespace

int RunRemoveCommand(const std::vector<std::string>& args) {
  std::string page_text;
  RemoteOptions remote_options;
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string* value = nullptr;
    if (!options_ended && a == "--") {
      options_ended = true;
      continue;
    }
    if (!options_ended && (a == "-h" || a == "--help")) {
      std::fputs(kRemoveHelp, stdout);
      return kExitDone;
    }
    if (!options_ended && a == "--ca-file") value = &remote_options.ca_file;
    else if (!options_ended && a == "--host-key") value = &remote_options.host_key;
    else if (!options_ended && a == "--identity") value = &remote_options.identity;
    if (value != nullptr) {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "sonavelt-cli remove: option %s needs a value\n", a.c_str());
        return kExitUsage;
      }
      *value = args[++i];
      continue;
    }
    if (!options_ended && a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "sonavelt-cli remove: unknown option %s\n(see sonavelt-cli remove --help)\n",
                   a.c_str());
      return kExitUsage;
    }
    if (!page_text.empty()) {
      std::fprintf(stderr, "sonavelt-cli remove: more than one page given: %s, %s\n",
                   page_text.c_str(), a.c_str());
      return kExitUsage;
    }
    page_text = a;
  }
  if (page_text.empty()) {
    std::fprintf(stderr, "sonavelt-cli remove: no page given\n(see sonavelt-cli remove --help)\n");
    return kExitUsage;
  }

  TerminalUserInterface ui;
  std::atomic<bool> stop{false};
  run::RunRequest request;
  run::PageTarget& page = request.page;
  if (IsRemotePageAddress(page_text)) {
    run::SettingsStore store;
    RemotePage remote_page = PrepareRemotePage(page_text, remote_options, store, ui);
    if (!remote_page.status.ok()) {
      Show(ui, remote_page.status);
      return kExitStopped;
    }
    page = remote_page.page;
    request.site = std::move(remote_page.endpoint);
  } else {
    std::error_code ec;
    page.local_html_path = std::filesystem::absolute(page_text, ec).string();
  }
  std::unique_ptr<run::RemoteFolder> site = run::OpenSiteFolder(request.site, &stop);
  run::RemovalServices services;
  services.remote = site.get();
  services.cancel = &stop;
  run::RemovalOutcome outcome;
  {
    StopSignals signals(&stop);
    outcome = run::RemovePagePlayer(page, services);
  }
  for (size_t i = 0; i < outcome.removed.size(); ++i)
    std::printf("%s %s\n", i == 0 ? "page:" : "removed:", outcome.removed[i].c_str());
  std::fflush(stdout);
  Show(ui, outcome.message);
  switch (outcome.end) {
    case run::RemovalOutcome::End::kRemoved:
      return kExitDone;
    case run::RemovalOutcome::End::kIncomplete:
    case run::RemovalOutcome::End::kRefused:
      return kExitStopped;
    case run::RemovalOutcome::End::kFailed:
      return kExitEnded;
    case run::RemovalOutcome::End::kCancelled:
      std::fprintf(stderr, "Stopped by the user.\n");
      return kExitEnded;
  }
  return kExitEnded;
}

}  // namespace sonavelt::cli
