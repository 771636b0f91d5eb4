#include "run/site_audio_names.h"

#include <map>
#include <optional>
#include <set>

#include "base/text.h"
#include "run/applet_block.h"
#include "run/audio_placement.h"
#include "run/folder_usage.h"

namespace sonavelt::run {

namespace {

constexpr char kAudioFolder[] = "audio";

}  // namespace

Status SiteAudioNames::ClaimAudioNames(const RemotePage& page,
                                       const std::vector<SoundToPlace>& sounds,
                                       std::vector<PlacedFile>* files, TransferObserver&) {
  files->clear();
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
  for (PlacedFile& kept : EarlierCopiesKept(usage, base, sounds, plan, [&](const std::string& copy) {
         return listed_names.count(copy) != 0;
       }))
    files->push_back(std::move(kept));
  return Status::Ok();
}

}  // namespace sonavelt::run
