#include "run/browser_copies.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
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
                            const std::string& work_folder, BrowserCopies* copies,
                            const CopyProgress& progress) {
  std::vector<RunSound> run_sounds;
  AddRunSounds(sounds.entrance_sounds, state.converted_entrance, &run_sounds);
  AddRunSounds(sounds.exit_sounds, state.converted_exit, &run_sounds);
  AddRunSounds(sounds.background_sounds, state.converted_background, &run_sounds, /*loop=*/true);
  audio::ConversionControl control;
  control.cancel_requested = &state.cancel_requested;
  return MakeBrowserCopies(run_sounds, work_folder, control, copies, progress);
}

std::string BrowserCopyProgressText(const std::string& source) {
  return "Making the browser copy of " + FileNameOfPath(source);
}

std::string BrowserCopyNameFor(const std::string& au_name) {
  const std::string lower = LowerCopy(au_name);
  if (lower.size() > 3 && lower.compare(lower.size() - 3, 3, ".au") == 0)
    return au_name.substr(0, au_name.size() - 3) + ".opus";
  return au_name + ".opus";
}

Status MakeBrowserCopies(const std::vector<RunSound>& sounds, const std::string& work_folder,
                         const audio::ConversionControl& control, BrowserCopies* copies,
                         const CopyProgress& progress) {
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
  const size_t count = unique.size();
  std::vector<BrowserCopyFile> files(count);
  std::vector<Status> results(count, Status::Ok());
  if (count == 0) return Status::Ok();
  // Each copy's share done, in thousandths: reading the sound is the first
  // half, encoding it the second (both reported at their tenth marks).
  std::unique_ptr<std::atomic<int>[]> done(new std::atomic<int>[count]);
  for (size_t k = 0; k < count; ++k) done[k] = 0;
  std::atomic<size_t> next{0};
  std::atomic<size_t> finished{0};
  std::unique_ptr<std::atomic<bool>[]> begun(new std::atomic<bool>[count]);
  for (size_t k = 0; k < count; ++k) begun[k] = false;
  std::atomic<bool> failed{false};
  std::mutex mutex;
  std::condition_variable changed;
  auto tell = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    changed.notify_all();
  };
  auto work = [&] {
    for (size_t k; (k = next.fetch_add(1)) < count;) {
      if (!failed.load() && !control.cancelled()) {
        begun[k] = true;
        tell();
        files[k].path = work_folder + "/" + BrowserCopyNameFor(FileNameOfPath(unique[k].au_path));
        audio::BrowserCopyOptions options;
        options.loop = unique[k].loop;
        audio::CopySamples samples;
        audio::ConversionControl reading;
        reading.cancel_requested = control.cancel_requested;
        reading.report_progress = [&, k](int percent) { done[k] = 5 * percent; };
        results[k] = audio::ReadCopySamples(unique[k].source, reading, &samples, options);
        if (results[k].ok()) {
          audio::ConversionControl encoding;
          encoding.cancel_requested = control.cancel_requested;
          encoding.report_progress = [&, k](int percent) { done[k] = 500 + 5 * percent; };
          audio::BrowserCopyInfo info;
          results[k] = audio::WriteBrowserCopy(samples, files[k].path, encoding, &info, options);
          files[k].frames = static_cast<uint64_t>(info.frames);
        }
        if (!results[k].ok()) failed.store(true);
      } else if (control.cancelled()) {
        results[k] = Status::Cancelled();
      }
      done[k] = 1000;
      finished.fetch_add(1);
      tell();
    }
  };
  const size_t workers = std::min<size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::thread> threads;
  for (size_t w = 0; w < workers; ++w) threads.emplace_back(work);
  // The calling thread reports; the workers only count.
  std::vector<bool> announced(count, false);
  long shown_source = -1;
  int shown_permille = -1;
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::milliseconds(kCopyProgressMs));
    lock.unlock();
    const bool all_done = finished.load() == count;
    if (progress) {
      int64_t sum = 0;
      for (size_t k = 0; k < count; ++k) sum += done[k];
      const int permille = static_cast<int>(sum / static_cast<int64_t>(count));
      // Every copy begun is told, in the sounds' order; then the share.
      for (size_t k = 0; k < count; ++k) {
        if (!begun[k] || announced[k]) continue;
        announced[k] = true;
        shown_source = static_cast<long>(k);
        shown_permille = permille;
        progress(unique[k].source, permille);
      }
      if (shown_source >= 0 && permille != shown_permille) {
        shown_permille = permille;
        progress(unique[static_cast<size_t>(shown_source)].source, permille);
      }
    }
    if (all_done) break;
  }
  for (std::thread& thread : threads) thread.join();

  Status first = Status::Ok();
  for (size_t k = 0; k < count; ++k) {
    if (results[k].ok() && !files[k].path.empty()) copies->emplace(unique[k].au_path, files[k]);
    else if (!results[k].ok() && first.ok()) first = results[k];
  }
  if (control.cancelled()) return Status::Cancelled();
  return first;
}

}  // namespace sonavelt::run
