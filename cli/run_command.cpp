#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/status.h"
#include "base/text.h"
#include "base/version.h"
#include "cli/commands.h"
#include "cli/remote_login.h"
#include "cli/stop_signals.h"
#include "cli/terminal_progress_panel.h"
#include "cli/terminal_user_interface.h"
#include "run/run_launcher.h"
#include "run/run_request.h"
#include "run/stop_request.h"
#include "run/work_folder.h"
#include "settings/settings_store.h"

// sonavelt-cli run: one whole run on a local page, as the wizard would make
// it when its pages are left as they are, with the choices of the command
// line applied like clicks on its pages.
namespace sonavelt::cli {
namespace {

using run::OptionBoxId;

constexpr char kRunHelp[] =
    "usage: sonavelt-cli run [OPTIONS] [PAGE]\n"
    "\n"
    "Adds the sound player to a local HTML page: checks and converts the sounds,\n"
    "edits the page in place, writes its .res file and a settings page, and copies\n"
    "the sounds (into audio/ beside the page) and the applet class file beside it.\n"
    "PAGE may be a page on a site, ftp://[user@]host[:port]/path/page.htm (also\n"
    "ftpes:// with TLS, ftps:// with implicit TLS, sftp://): it is fetched, edited\n"
    "and sent back with its files. The password comes from the environment\n"
    "variable SONAVELT_FTP_PASSWORD, else it is asked on the terminal; the\n"
    "address (never the password) is remembered for the wizard.\n"
    "PAGE defaults to the page of the last completed run, else your copy of the\n"
    "sample page in $XDG_DATA_HOME/sonavelt/sample/ (~/.local/share/sonavelt/sample/),\n"
    "made on first use. Choices not given are those of the last completed run\n"
    "(else the defaults); a completed run stores its choices for the next.\n"
    "\n"
    "options:\n"
    "  -n, --combinations N   number of sound combinations (1-16)\n"
    "  -e, --entrance FILE    entrance sound; repeat for combination 1, 2, ...\n"
    "  -x, --exit FILE        exit sound; repeat for combination 1, 2, ...\n"
    "  -b, --background FILE  background sound; repeat for combination 1, 2, ...\n"
    "  --random | --in-order             play the combinations in random order or in turn\n"
    "  --no-background | --with-background\n"
    "  --background-on | --background-off background sound initially on or off\n"
    "  --entrance-on | --entrance-off\n"
    "  --exit-on | --exit-off\n"
    "  --invisible | --visible            the player's control on the page\n"
    "  --html5 | --no-html5   also play in browsers without Java (on unless turned\n"
    "                         off): the page loads sonavelt-player.js, copied beside\n"
    "                         it with the page's data files NAME.sounds.js and, for\n"
    "                         opening the page from disk, NAME.local.js\n"
    "  --player-position P    where the browser player's control stands: block (where\n"
    "                         the block is), top-left, top-right, bottom-left or\n"
    "                         bottom-right (fixed in that corner of the window)\n"
    "  --safety-key           play only on the page at --url\n"
    "  -u, --url URL          the page's web address (http://...)\n"
    "  --install-folder DIR   where the sounds, sample page, class file and player are\n"
    "  --ca-file FILE         a site's own CA certificates (PEM), for ftpes/ftps\n"
    "  --host-key FP          the SSH host key's SHA256 fingerprint, for sftp\n"
    "                         (without it, the known-hosts files decide)\n"
    "  --identity FILE        an SSH private key to log in with, for sftp (the\n"
    "                         SSH agent's keys are offered too when SSH_AUTH_SOCK\n"
    "                         is set); an encrypted key is unlocked with\n"
    "                         SONAVELT_SSH_PASSPHRASE (else asked on the terminal),\n"
    "                         which is never sent to the server\n"
    "  --password-login       sftp with --identity: offer the account's password\n"
    "                         (SONAVELT_FTP_PASSWORD) too when the key is refused\n"
    "                         (without --identity, the password is the login)\n"
    "  -y, --yes | --no       answer every question Yes or No (else ask; No\n"
    "                         when there is no terminal)\n"
    "  -q, --quiet            no progress display\n"
    "  --help, --version\n"
    "  --                     ends the options: what follows is the page, even if\n"
    "                         it starts with \"-\"\n"
    "\n"
    "Sound files: .wav .au .mp3 .flac .ogg .oga .opus .aif .aiff .aifc\n"
    "(WAVE, Sun .au, MP3, FLAC, Ogg Vorbis or Opus, AIFF), in any letter case. Each\n"
    "is read as its contents say and converted into the player's 8000 Hz mono\n"
    "mu-law .au; an .au that already is one is used as it is.\n"
    "\n"
    "Messages and progress go to standard error; the files written, to standard\n"
    "output. Ctrl-C (or SIGTERM) stops the run at its next checkpoint; the page is\n"
    "replaced last, so a stopped run leaves it as it was. A second run on the same\n"
    "page waits up to 30 seconds for the first, then stops.\n"
    "\n"
    "exit status:\n"
    "  0  the run completed\n"
    "  1  stopped: a check failed, the page was refused, a question answered No\n"
    "     kept the page, or the run stopped at the low-disk warning\n"
    "  2  command-line error\n"
    "  3  the run ended the program: the page's BODY tag cannot be read (or the\n"
    "     page ends inside an unclosed comment or textarea), the site could not\n"
    "     be reached or refused a transfer, or Ctrl-C\n";

Status MoreThanOnePage(const std::string& first, const std::string& second) {
  return Status::InvalidArgument("more than one page given: " + first + ", " + second);
}

struct Arguments {
  std::string page;
  std::string count;
  std::vector<std::string> entrance, exit, background;
  std::vector<std::pair<OptionBoxId, bool>> clicks;  // in command-line order
  bool url_given = false;
  std::string url;
  std::optional<run::PlayerPosition> position;
  std::string install_folder;
  RemoteOptions remote;
  TerminalUserInterface::Answer answer = TerminalUserInterface::Answer::kAsk;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Fills `out`; a bad command line is refused with what is wrong with it.
Status ParseArguments(const std::vector<std::string>& args, Arguments& out) {
  static const std::vector<std::pair<std::string, std::pair<OptionBoxId, bool>>> switches = {
      {"--random", {OptionBoxId::kRandomOrder, true}},
      {"--in-order", {OptionBoxId::kRandomOrder, false}},
      {"--safety-key", {OptionBoxId::kSafetyKey, true}},
      {"--no-background", {OptionBoxId::kNoBackground, true}},
      {"--with-background", {OptionBoxId::kNoBackground, false}},
      {"--background-on", {OptionBoxId::kBackgroundInitiallyOn, true}},
      {"--background-off", {OptionBoxId::kBackgroundInitiallyOn, false}},
      {"--entrance-on", {OptionBoxId::kEntranceOn, true}},
      {"--entrance-off", {OptionBoxId::kEntranceOn, false}},
      {"--exit-on", {OptionBoxId::kExitOn, true}},
      {"--exit-off", {OptionBoxId::kExitOn, false}},
      {"--invisible", {OptionBoxId::kInvisibleApplet, true}},
      {"--visible", {OptionBoxId::kInvisibleApplet, false}},
      {"--html5", {OptionBoxId::kBrowserPlayer, true}},
      {"--no-html5", {OptionBoxId::kBrowserPlayer, false}},
  };
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!options_ended && a == "--") {
      options_ended = true;
      continue;
    }
    if (options_ended) {
      if (!out.page.empty()) return MoreThanOnePage(out.page, a);
      out.page = a;
      continue;
    }
    auto value = [&](std::string* into) -> bool {
      if (i + 1 >= args.size()) return false;
      *into = args[++i];
      return true;
    };
    auto list_value = [&](std::vector<std::string>* into) -> bool {
      std::string v;
      if (!value(&v)) return false;
      into->push_back(v);
      return true;
    };
    bool known = true;
    bool ok = true;
    if (a == "-n" || a == "--combinations") ok = value(&out.count);
    else if (a == "-e" || a == "--entrance") ok = list_value(&out.entrance);
    else if (a == "-x" || a == "--exit") ok = list_value(&out.exit);
    else if (a == "-b" || a == "--background") ok = list_value(&out.background);
    else if (a == "-u" || a == "--url") ok = out.url_given = value(&out.url);
    else if (a == "--player-position") {
      std::string text;
      ok = value(&text);
      if (ok) {
        out.position = run::PlayerPositionOfText(text);
        if (!out.position)
          return Status::InvalidArgument(
              "--player-position takes block, top-left, top-right, bottom-left or "
              "bottom-right, not " + text);
      }
    }
    else if (a == "--install-folder") ok = value(&out.install_folder);
    else if (a == "--ca-file") ok = value(&out.remote.ca_file);
    else if (a == "--host-key") ok = value(&out.remote.host_key);
    else if (a == "--identity") ok = value(&out.remote.identity);
    else if (a == "--password-login") out.remote.password_login = true;
    else if (a == "-y" || a == "--yes") out.answer = TerminalUserInterface::Answer::kYes;
    else if (a == "--no") out.answer = TerminalUserInterface::Answer::kNo;
    else if (a == "-q" || a == "--quiet") out.quiet = true;
    else if (a == "-h" || a == "--help") out.help = true;
    else if (a == "--version") out.version = true;
    else known = false;
    if (!ok) return Status::InvalidArgument("option " + a + " needs a value");
    if (known) continue;
    bool matched = false;
    for (const auto& [name, click] : switches) {
      if (a == name) {
        out.clicks.push_back(click);
        matched = true;
      }
    }
    if (matched) continue;
    if (!a.empty() && a[0] == '-' && a != "-") return Status::InvalidArgument("unknown option " + a);
    if (!out.page.empty()) return MoreThanOnePage(out.page, a);
    out.page = a;
  }
  return Status::Ok();
}

const char* PageName(run::ReturnPage page) {
  switch (page) {
    case run::ReturnPage::kEntranceSound: return "entrance sound";
    case run::ReturnPage::kExitSound: return "exit sound";
    case run::ReturnPage::kBackgroundSound: return "background sound";
    default: return "page choice";
  }
}

// Every path the run derives from the install folder (the settings page
// among them) is printed: it starts absolute, as the page's does.
std::string AbsoluteFolder(const std::string& folder) {
  if (folder.empty()) return folder;
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(folder, ec).lexically_normal().string();
  while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
  return absolute;
}

// The first page: the page (fetched from its site when it lives on one) and
// the number of combinations, then the sounds given for each combination.
// Answers the exit status when the command ends here, having said why.
std::optional<int> LeavePages(const Arguments& a, run::SettingsStore& store, UserInterface& ui,
                              run::RequestBuilder& builder, run::RunRequest& request) {
  std::error_code ec;
  run::PageTarget& page = request.page;
  if (IsRemotePageAddress(a.page)) {
    RemotePage remote_page = PrepareRemotePage(a.page, a.remote, store, ui);
    if (!remote_page.status.ok()) {
      Show(ui, remote_page.status);
      return kExitStopped;
    }
    // The local page stays the one remembered, as the wizard keeps it.
    std::string local_page = std::move(page.local_html_path);
    page = remote_page.page;
    page.local_html_path = std::move(local_page);
    request.site = std::move(remote_page.endpoint);
  } else if (!a.page.empty()) {
    page.local_html_path = std::filesystem::absolute(a.page, ec).string();
  }
  const std::string count_text =
      a.count.empty() ? DecimalText(request.sounds.combination_count) : a.count;
  run::FirstPageField refused = run::FirstPageField::kPage;
  if (Status first = builder.LeaveFirstPage(page.local_html_path, count_text, &refused);
      !first.ok()) {
    Show(ui, first);
    return kExitStopped;
  }
  run::SoundSet& sounds = request.sounds;
  const int count = sounds.combination_count;
  for (auto [given, list, role] :
       {std::tuple{&a.entrance, &sounds.entrance_sounds, "entrance"},
        std::tuple{&a.exit, &sounds.exit_sounds, "exit"},
        std::tuple{&a.background, &sounds.background_sounds, "background"}}) {
    if (static_cast<int>(given->size()) > count) {
      std::fprintf(stderr, "sonavelt-cli run: %zu %s sounds given for %d combinations\n",
                   given->size(), role, count);
      return kExitUsage;
    }
    for (size_t i = 0; i < given->size(); ++i) {
      (*list)[i] = std::filesystem::absolute((*given)[i], ec).string();
      if (Status safe = run::CheckListSafePath((*list)[i], "audio"); !safe.ok()) {
        Show(ui, safe);
        return kExitStopped;
      }
    }
  }
  return std::nullopt;
}

// The options page: shown for these choices, clicked as asked, left; then
// the install folder's files the run copies.
Status LeaveOptionsPage(const Arguments& a, UserInterface& ui, run::RequestBuilder& builder,
                        run::RunRequest& request) {
  builder.ShowOptions();
  for (const auto& [box, checked] : a.clicks) builder.ClickOption(box, checked);
  if (a.position) request.options.player_position = *a.position;
  if (Status url = builder.LeaveOptionsPage(a.url, ui); !url.ok()) return url;
  return run::CheckInstallFiles(request);
}

// What the run wrote (standard output) or why it stopped (standard error),
// and the command's exit status. `stored`: how storing the run's choices
// in the settings file went.
int Report(const run::RunReport& report, const Status& stored, const std::string& settings_file) {
  const run::RunOutcome& outcome = report.outcome;
  switch (outcome.end) {
    case run::RunOutcome::End::kCompleted:
      std::printf("page: %s\n", report.page.c_str());
      std::printf("resource file: %s\n", report.resource_file.c_str());
      std::printf("settings page: %s\n", report.settings_page.c_str());
      // A settings file that cannot be written (a folder in its place, a
      // read-only home) must not be reported as holding this run's choices.
      if (stored.ok()) {
        std::printf("settings: %s\n", settings_file.c_str());
      } else {
        std::fprintf(stderr, "%s\n", stored.message().c_str());
      }
      return kExitDone;
    case run::RunOutcome::End::kSentBack:
      std::fprintf(stderr, "Stopped: correct the %s", PageName(outcome.page));
      if (outcome.page != run::ReturnPage::kSelectHtmlFile)
        std::fprintf(stderr, " of combination %d", outcome.combination);
      std::fprintf(stderr, " and run again.\n");
      return kExitStopped;
    case run::RunOutcome::End::kUnusablePage:
      return kExitEnded;
    case run::RunOutcome::End::kCancelled:
      std::fprintf(stderr, "Stopped by the user.\n");
      return kExitEnded;
  }
  return kExitEnded;
}

}  // namespace

int RunRunCommand(const std::vector<std::string>& args) {
  Arguments a;
  if (Status parsed = ParseArguments(args, a); !parsed.ok()) {
    std::fprintf(stderr, "sonavelt-cli run: %s\n(see sonavelt-cli run --help)\n",
                 parsed.message().c_str());
    return kExitUsage;
  }
  if (a.help) {
    std::fputs(kRunHelp, stdout);
    return kExitDone;
  }
  if (a.version) {
    std::printf("sonavelt-cli %s\n", kVersion);
    return kExitDone;
  }

  TerminalUserInterface terminal(a.answer);
  TerminalProgressPanel panel(a.quiet);
  RunUserInterface ui(terminal, panel);
  run::SettingsStore store;
  run::StartUp start = run::LoadStartUp(store, AbsoluteFolder(a.install_folder));
  run::RunRequest& request = start.request;
  run::RequestBuilder builder(request, start.stored);
  if (std::optional<int> ended = LeavePages(a, store, ui, builder, request)) return *ended;
  if (Status options = LeaveOptionsPage(a, ui, builder, request); !options.ok()) {
    Show(ui, options);
    return kExitStopped;
  }

  // The process's private work folder; those of killed runs go first.
  std::unique_ptr<run::WorkFolder> work;
  if (Status folder = run::OpenWorkFolder(request.paths, &work); !folder.ok()) {
    Show(ui, folder);
    return kExitStopped;
  }
  // Ctrl-C and SIGTERM stop the run: the page is untouched unless it was
  // already replaced (it is only ever renamed into place), and the next run
  // removes what this one left.
  run::StopRequest stop;
  std::optional<StopSignals> signals(stop.flag_for_signals());
  run::RunFrontEnd front;
  front.ui = &ui;
  front.panel = &panel;
  front.stop = &stop;
  Status stored;
  front.write_history = [&](const run::StoredHistory& h) { stored = run::StoreChoices(store, h); };
  run::RunReport report = run::StartRun(request, front);
  Show(ui, report.outcome.message);
  panel.Finish();
  work.reset();
  signals.reset();
  return Report(report, stored, store.FilePath());
}

}  // namespace sonavelt::cli
