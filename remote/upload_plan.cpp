#include "remote/upload_plan.h"

#include <algorithm>
#include <set>

#include "base/text.h"

namespace sonavelt::remote {

RemoteLayout::RemoteLayout(std::string_view remote_page_path) : page_path(remote_page_path) {
  size_t slash = page_path.rfind('/');
  folder = slash == std::string::npos ? "" : page_path.substr(0, slash);
  audio_folder = folder + "/" + run::kAudioFolder;
}

std::string RemoteLayout::SoundPath(std::string_view local_sound) const {
  return audio_folder + "/" + FileNameOfPath(local_sound);
}

std::string RemoteLayout::ClassPath() const {
  return folder + "/" + run::kAppletClassFileName;
}

std::string RemoteLayout::BesidePage(std::string_view local_file) const {
  return folder + "/" + FileNameOfPath(local_file);
}

std::string ParentFolder(std::string_view remote_path) {
  size_t slash = remote_path.rfind('/');
  return slash == std::string_view::npos || slash == 0 ? "/"
                                                       : std::string(remote_path.substr(0, slash));
}

bool PageNames(std::string_view page, std::string_view remote_path) {
  return page.empty() || page.find(FileNameOfPath(remote_path)) != std::string_view::npos;
}

UploadPlan PlanUpload(const run::PublishFiles& files, const RemoteLayout& layout,
                      std::string_view live_page, const PlanLimits& limits) {
  UploadPlan plan;
  plan.audio_folder = layout.audio_folder;
  // A page that names nothing in the audio folder has most likely never had one.
  plan.create_audio_folder_first =
      !live_page.empty() && live_page.find("audio/") == std::string_view::npos;
  auto add = [&](const std::string& local, std::string remote, bool announced, bool naming,
                 const std::string* text = nullptr) {
    PlannedFile file;
    file.local = local;
    file.remote = std::move(remote);
    if (text) file.text = *text;
    file.announced = announced;
    file.direct = !PageNames(live_page, file.remote);
    file.waits = naming && !file.direct;
    plan.files.push_back(std::move(file));
  };
  for (const std::string& sound : files.sounds) add(sound, layout.SoundPath(sound), true, false);
  for (const std::string& copy : files.sound_copies)
    add(copy, layout.SoundPath(copy), false, false);
  add(files.applet_class_path, layout.ClassPath(), true, false);
  if (!files.player_script_path.empty())
    add(files.player_script_path, layout.BesidePage(files.player_script_path), true, false);
  // The resource file and the data files name the others.
  add(files.resource.name, layout.BesidePage(files.resource.name), true, true,
      &files.resource.bytes);
  for (const run::TextFile& data_file : files.player_data)
    add(data_file.name, layout.BesidePage(data_file.name), false, true, &data_file.bytes);
  // Files that wait go after all that do not (keeping announced order within each).
  std::stable_partition(plan.files.begin(), plan.files.end(),
                        [](const PlannedFile& file) { return !file.waits; });

  std::set<std::string> seen;
  int unique = 0;
  for (PlannedFile& file : plan.files) {
    file.repeat = !seen.insert(file.remote).second;
    if (!file.repeat) ++unique;
  }
  plan.page_remote = layout.page_path;
  for (const std::string& name : files.dropped_sounds)
    plan.delete_after_page.push_back(layout.audio_folder + "/" + name);
  plan.lanes = 1;
  if (!limits.ssh && !limits.renames_refused && unique >= 4)
    plan.lanes = std::clamp(1 + unique / kFilesPerLane, 1, std::max(1, limits.max_lanes));
  plan.prove_by_listing = !limits.ssh;
  return plan;
}

}  // namespace sonavelt::remote
