#include "run/run_request.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "base/file_io.h"
#include "run/run_messages.h"
#include "run/startup.h"
#include "run/work_folder.h"
#include "settings/settings_store.h"

namespace sonavelt::run {

using file_io::JoinPath;

StartUp LoadStartUp(const SettingsStore& store, const std::string& install_folder) {
  std::string folder = install_folder;
  if (folder.empty()) {
    std::error_code ec;
    const std::string current = std::filesystem::current_path(ec).string();
    folder = ChooseInstallFolder(store.AppPath(), ProgramFolder(), current);
  }
  StartUp start;
  start.request.paths = MakeInstallPaths(folder, UserDataFolder());
  start.stored = store.History();
  StartUpChoices choices = ChoicesFromHistory(start.stored, start.request.paths);
  start.request.page = std::move(choices.page);
  start.request.sounds = std::move(choices.sounds);
  start.request.options = std::move(choices.options);
  return start;
}

Status OpenWorkFolder(InstallPaths& paths, std::unique_ptr<WorkFolder>* folder) {
  if (Status made = MakeSessionWorkFolder(folder); !made.ok()) {
    return Status::IoError(WorkFolderFailedMessage(UserCacheFolder(), made.message()))
        .WithBox(BoxStyle::kSystemModal);
  }
  paths.cache_folder = (*folder)->path();
  return Status::Ok();
}

RequestBuilder::RequestBuilder(RunRequest& request, StoredHistory stored)
    : request_(request), stored_(std::move(stored)) {}

Status RequestBuilder::LeaveFirstPage(const std::string& page_text, const std::string& count_text,
                                      FirstPageField* refused) {
  if (!request_.page.is_remote) {
    // The sample page is copied for the user when it is first used.
    if (page_text == request_.paths.sample_page) {
      if (Status copied = MakeSampleCopy(request_.paths); !copied.ok()) {
        *refused = FirstPageField::kPage;
        return Status::IoError(SampleCopyFailedMessage(
                                   page_text, JoinPath(request_.paths.install_folder, kSamplePage),
                                   copied.message()))
            .WithBox(BoxStyle::kSystemModal);
      }
    }
    if (Status page = CheckLocalPagePath(page_text); !page.ok()) {
      *refused = FirstPageField::kPage;
      return page;
    }
    request_.page.local_html_path = page_text;
  }
  const CountCheck count = CheckCombinationCount(count_text);
  if (!count.ok) {
    *refused = FirstPageField::kCount;
    return Status::InvalidArgument(count.message).WithBox(BoxStyle::kPlain);
  }
  sizer_.Size(count.count, stored_, MakeDefaultSoundLists(request_.paths.install_folder),
              request_.sounds);
  return Status::Ok();
}

void RequestBuilder::ShowOptions() {
  boxes_ = run::ShowOptions(request_.options, request_.sounds.combination_count);
}

void RequestBuilder::ClickOption(OptionBoxId box, bool checked) {
  run::ClickOption(boxes_, box, checked, request_.options);
}

void RequestBuilder::KeepOptions(const std::string& url_text) {
  ReadOptions(boxes_, url_text, request_.options);
}

Status RequestBuilder::LeaveOptionsPage(const std::string& url_text, Questions& questions) {
  KeepOptions(url_text);
  return CheckPageUrl(request_.page, request_.options, questions);
}

Status CheckInstallFiles(const RunRequest& request) {
  const InstallPaths& paths = request.paths;
  if (!file_io::IsReadableFile(paths.applet_class_path)) {
    return Status::NotFound(AppletClassMissingMessage(paths.applet_class_path))
        .WithBox(BoxStyle::kSystemModal);
  }
  if (request.options.browser_player && !file_io::IsReadableFile(paths.player_script_path)) {
    return Status::NotFound(PlayerScriptMissingMessage(paths.player_script_path))
        .WithBox(BoxStyle::kSystemModal);
  }
  return Status::Ok();
}

}  // namespace sonavelt::run
