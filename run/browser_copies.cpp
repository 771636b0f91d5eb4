#include "run/browser_copies.h"

#include "audio/browser_copy.h"
#include "base/text.h"

namespace sonavelt::run {

void AddRunSounds(const std::vector<std::string>& sources, const std::vector<std::string>& converted,
                  std::vector<RunSound>* sounds) {
  for (size_t k = 0; k < sources.size() && k < converted.size(); ++k) {
    if (!converted[k].empty()) sounds->push_back({sources[k], converted[k]});
  }
}

Status MakeRunBrowserCopies(const SoundSet& sounds, RunState& state,
                            const std::string& work_folder, BrowserCopies* copies) {
  std::vector<RunSound> run_sounds;
  AddRunSounds(sounds.entrance_sounds, state.converted_entrance, &run_sounds);
  AddRunSounds(sounds.exit_sounds, state.converted_exit, &run_sounds);
  AddRunSounds(sounds.background_sounds, state.converted_background, &run_sounds);
  audio::ConversionControl control;
  control.cancel_requested = &state.cancel_requested;
  return MakeBrowserCopies(run_sounds, work_folder, control, copies);
}

std::string BrowserCopyNameFor(const std::string& au_name) {
  const std::string lower = LowerCopy(au_name);
  if (lower.size() > 3 && lower.compare(lower.size() - 3, 3, ".au") == 0)
    return au_name.substr(0, au_name.size() - 3) + ".opus";
  return au_name + ".opus";
}

Status MakeBrowserCopies(const std::vector<RunSound>& sounds, const std::string& work_folder,
                         const audio::ConversionControl& control, BrowserCopies* copies) {
  for (const RunSound& sound : sounds) {
    if (copies->count(sound.au_path) != 0) continue;  // a sound used twice is made once
    BrowserCopyFile file;
    file.path = work_folder + "/" + BrowserCopyNameFor(FileNameOfPath(sound.au_path));
    audio::BrowserCopyInfo info;
    Status status = audio::MakeBrowserCopy(sound.source, file.path, control, &info);
    if (!status.ok()) return status;
    file.frames = static_cast<uint64_t>(info.frames);
    copies->emplace(sound.au_path, file);
  }
  return Status::Ok();
}

}  // namespace sonavelt::run
