#include "run/site_audio_names.h"

#include <map>
#include <optional>

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
  bool has_audio = false;
  for (const std::string& name : beside) {
    // On a server that ignores case, "Audio" is where the sounds go.
    if (LowerCopy(name) == kAudioFolder) has_audio = true;
    if (!IsPageRecordFile(name)) continue;
    std::string bytes;
    if (site_.FetchBesidePage(page, name, &bytes).ok()) records.emplace(name, std::move(bytes));
    else records.emplace(name, std::nullopt);
  }
  std::vector<std::string> audio_names;
  if (has_audio) {
    listed = site_.ListBesidePage(page, kAudioFolder, &audio_names);
    if (!listed.ok() && listed.code() != Status::Code::kNotFound) return listed;
  }
  const AudioPlan plan = PlanSiteAudioFolder(audio_names, ReadFolderUsage(records),
                                             ResourceBaseName(FileNameOfPath(page.path)), sounds);
  *files = plan.files;
  return Status::Ok();
}

}  // namespace sonavelt::run
