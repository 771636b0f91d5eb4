#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "base/status.h"
#include "base/user_interface.h"
#include "remote/ftp_address.h"
#include "run/pipeline_run.h"
#include "run/progress_panel.h"
#include "run/run_history.h"
#include "run/run_request.h"
#include "run/stop_request.h"
#include "run/sound_work.h"
#include "transport/page_transport.h"

// Starting a run, one way for both front ends. The front end fills a
// RunRequest (the command line from its arguments, the wizard from its
// pages) and lends what the run reports to and asks; StartRun builds the
// rest (the site's transport for a remote page, the sound checks and
// converters, the pipeline) and performs the run once.
namespace sonavelt::run {

class SettingsStore;

// What a front end lends a run. The pointers must outlive StartRun.
struct RunFrontEnd {
  // The run's questions (low disk space, a sound's format change), and the
  // warnings it goes on after unless show_warning is set.
  UserInterface* ui = nullptr;   // required
  ProgressPanel* panel = nullptr;  // required
  // The front end's request to stop, set from any thread while the run works.
  const StopRequest* stop = nullptr;  // required
  // The sound checks and conversions; null: the audio library's, asking ui.
  SoundWork* sounds = nullptr;
  // As in RunServices; empty: none.
  std::function<void(int milliseconds)> pause;
  std::function<void()> beep;
  std::function<void(const StoredHistory&)> write_history;
  // Empty: Show on ui.
  std::function<void(const Status& warning)> show_warning;
};

// How a run ended, and for a completed one what it wrote, named as the user
// knows the places: a local path, or "site:/path" for a file on a site.
struct RunReport {
  RunOutcome outcome;
  std::string page;           // the page
  std::string resource_file;  // the page's resource file beside it
  std::string settings_page;  // the settings page's address
};

// Performs the run `request` asks for. A remote page (request.page.is_remote)
// is fetched and published through a transport on request.site. The run's
// own messages come back in report.outcome.message, for the front end to
// show; only the warnings and questions reach the front end while it works.
RunReport StartRun(const RunRequest& request, const RunFrontEnd& front);

// Stores the choices of a completed run in `store` and writes them to its
// file; a file that cannot be written is reported with
// ChoicesNotStoredMessage (a plain box): the choices then live on only in
// memory, and must not be reported as stored.
Status StoreChoices(SettingsStore& store, const StoredHistory& history);

// Opens `address` (the settings page a run wrote) in the user's web
// browser, looked for as browser/browser_launch.h says (BROWSER first);
// answers NoBrowserMessage when none could be started. Blocks for the
// search.
Status OpenInBrowser(const std::string& address);

// The folder of a page on the site `site` reaches, for taking the page's
// sounds off again (RemovalServices::remote). `cancel` (may be null) stops
// a transfer within a second; it must outlive the folder.
std::unique_ptr<RemoteFolder> OpenSiteFolder(remote::FtpEndpoint site,
                                             const std::atomic<bool>* cancel);

}  // namespace sonavelt::run
