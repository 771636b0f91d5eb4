#include "run/browser_copies.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "audio/browser_copy.h"
#include "base/text.h"

namespace sonavelt::run {

void AddRunSounds(const std::vector<std::string>& sources, const std::vector<std::string>& converted,
                  std::vector<RunSound>* sounds, bool loop) {
  for (size_t k = 0; k < sources.size() && k < converted.size(); ++k) {
    if (!converted[k].empty()) sounds->push_back({sources[k], converted[k], loop});
  }
}

Status MakeRunBrowserCopies(const SoundSet& sounds, RunState& state,
                            const std::string& work_folder, BrowserCopies* copies) {
  std::vector<RunSound> run_sounds;
  AddRunSounds(sounds.entrance_sounds, state.converted_entrance, &run_sounds);
  AddRunSounds(sounds.exit_sounds, state.converted_exit, &run_sounds);
  AddRunSounds(sounds.background_sounds, state.converted_background, &run_sounds, /*loop=*/true);
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
  // Each .au once, in the sounds' order; a sound used as a loop anywhere
  // is made as a loop (a loop's copy plays as well once).
  std::vector<RunSound> unique;
  for (const RunSound& sound : sounds) {
    if (copies->count(sound.au_path) != 0) continue;
    auto same = std::find_if(unique.begin(), unique.end(),
                             [&](const RunSound& u) { return u.au_path == sound.au_path; });
    if (same == unique.end()) unique.push_back(sound);
    else same->loop = same->loop || sound.loop;
  }
  std::vector<BrowserCopyFile> files(unique.size());
  std::vector<Status> results(unique.size(), Status::Ok());
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  auto work = [&] {
    for (size_t k; (k = next.fetch_add(1)) < unique.size();) {
      if (failed.load() || control.cancelled()) {
        results[k] = control.cancelled() ? Status::Cancelled() : Status::Ok();
        continue;
      }
      files[k].path = work_folder + "/" + BrowserCopyNameFor(FileNameOfPath(unique[k].au_path));
      audio::BrowserCopyOptions options;
      options.loop = unique[k].loop;
      audio::BrowserCopyInfo info;
      results[k] = audio::MakeBrowserCopy(unique[k].source, files[k].path, control, &info, options);
      if (!results[k].ok()) failed.store(true);
      files[k].frames = static_cast<uint64_t>(info.frames);
    }
  };
  const size_t workers =
      std::min<size_t>(unique.size(), std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::thread> threads;
  for (size_t w = 1; w < workers; ++w) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();

  Status first = Status::Ok();
  for (size_t k = 0; k < unique.size(); ++k) {
    if (results[k].ok() && !files[k].path.empty()) copies->emplace(unique[k].au_path, files[k]);
    else if (!results[k].ok() && first.ok()) first = results[k];
  }
  if (control.cancelled()) return Status::Cancelled();
  return first;
}

}  // namespace sonavelt::run
