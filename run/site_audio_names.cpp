#include "run/site_audio_names.h"

#include <map>
#include <optional>
#include <set>

#include "base/file_io.h"
#include "base/text.h"
#include "run/applet_block.h"
#include "run/audio_placement.h"
#include "run/folder_usage.h"

namespace sonavelt::run {

Status SiteAudioNames::ClaimAudioNames(const RemotePage& page,
                                       const std::vector<SoundToPlace>& sounds,
                                       std::vector<PlacedFile>* files, TransferObserver&) {
  files->clear();
  dropped_.clear();
  std::vector<std::string> beside;
  Status listed = site_.ListBesidePage(page, "", &beside);
  if (!listed.ok() && listed.code() != Status::Code::kNotFound) return listed;

  std::map<std::string, std::optional<std::string>> records;
  // On a server that ignores case, "Audio" is where the sounds go; on one
  // that does not, its names only make the run's names more careful.
  std::string audio_folder;
  for (const std::string& name : beside) {
    if (name == kAudioFolder || (audio_folder.empty() && LowerCopy(name) == kAudioFolder))
      audio_folder = name;
    if (!IsPageRecordFile(name)) continue;
    std::string bytes;
    if (site_.FetchBesidePage(page, name, &bytes).ok()) records.emplace(name, std::move(bytes));
    else records.emplace(name, std::nullopt);
  }
  std::vector<std::string> audio_names;
  if (!audio_folder.empty()) {
    listed = site_.ListBesidePage(page, audio_folder, &audio_names);
    if (!listed.ok() && listed.code() != Status::Code::kNotFound) return listed;
  }
  const FolderUsage usage = ReadFolderUsage(records);
  const std::string base = ResourceBaseName(FileNameOfPath(page.path));
  const AudioPlan plan = PlanSiteAudioFolder(audio_names, usage, base, sounds);
  *files = plan.files;
  const std::set<std::string> listed_names(audio_names.begin(), audio_names.end());
  // A site's bytes are known only by reading them: the .au is fetched, and
  // only for a sound that comes without a copy and had one here.
  auto still_its = [&](size_t i, const std::string& copy) {
    if (listed_names.count(copy) == 0) return false;
    std::string there, ours;
    return site_.FetchBesidePage(page, audio_folder + "/" + plan.au_names[i], &there).ok() &&
           file_io::ReadWholeFile(sounds[i].au_path, &ours).ok() && there == ours;
  };
  for (PlacedFile& kept : EarlierCopiesKept(usage, base, sounds, plan, still_its))
    files->push_back(std::move(kept));
  dropped_ = DroppedByRun(usage, base, *files);
  return Status::Ok();
}

Status SiteAudioNames::PublishPage(const RemotePage& page, const PublishFiles& files,
                                   TransferObserver& observer) {
  if (dropped_.empty()) return site_.PublishPage(page, files, observer);
  PublishFiles with_dropped = files;
  with_dropped.dropped_sounds = dropped_;
  return site_.PublishPage(page, with_dropped, observer);
}

}  // namespace sonavelt::run
