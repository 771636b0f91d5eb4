#include "run/run_launcher.h"

#include <optional>
#include <utility>

#include "base/file_io.h"
#include "browser/browser_launch.h"
#include "browser/process_starter.h"
#include "remote/remote_folder.h"
#include "remote/transfers.h"
#include "run/audio_sound_work.h"
#include "run/run_messages.h"
#include "run/site_audio_names.h"
#include "settings/settings_store.h"

namespace sonavelt::run {

RunReport StartRun(const RunRequest& request, const RunFrontEnd& front) {
  UserInterface& ui = *front.ui;
  // A local page needs no transport; one made anyway connects to nothing.
  remote::RemotePageTransfer site(request.site);
  // A site's sounds are named against its audio/ folder, as a disk's are.
  SiteAudioNames transport(site);
  std::optional<AudioSoundWork> own_sounds;
  if (front.sounds == nullptr) own_sounds.emplace(ui);

  RunServices services;
  services.sounds = front.sounds ? front.sounds : &*own_sounds;
  services.transport = &transport;
  services.pause = front.pause;
  services.beep = front.beep;
  services.write_history = front.write_history;
  services.show_warning = front.show_warning;
  if (!services.show_warning) services.show_warning = [&ui](const Status& w) { Show(ui, w); };

  PipelineRun pipeline(request.page, request.sounds, request.options, request.paths, ui,
                       *front.panel, *front.stop, std::move(services));
  RunReport report;
  report.outcome = pipeline.Run();
  if (report.outcome.end != RunOutcome::End::kCompleted) return report;

  const PageTarget& page = request.page;
  if (page.is_remote) {
    remote::RemoteLayout layout(page.remote_path);
    report.page = page.remote_site + ":" + page.remote_path;
    report.resource_file =
        page.remote_site + ":" + layout.BesidePage(pipeline.resource_file_name());
  } else {
    report.page = page.local_html_path;
    report.resource_file = file_io::JoinPath(pipeline.page_folder(), pipeline.resource_file_name());
  }
  report.settings_page = pipeline.settings_page();
  return report;
}

Status StoreChoices(SettingsStore& store, const StoredHistory& history) {
  store.WriteHistory(history);
  if (store.Sync().ok()) return Status::Ok();
  return Status::IoError(ChoicesNotStoredMessage(store.FilePath())).WithBox(BoxStyle::kPlain);
}

Status OpenInBrowser(const std::string& address) {
  browser::SpawnProcessStarter starter;
  return browser::LaunchBrowser(address, starter, browser::BrowserSearch::FromEnvironment());
}

std::unique_ptr<RemoteFolder> OpenSiteFolder(remote::FtpEndpoint site,
                                             const std::atomic<bool>* cancel) {
  return std::make_unique<remote::FtpRemoteFolder>(std::move(site), cancel);
}

}  // namespace sonavelt::run
