#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/conversion_progress.h"
#include "base/status.h"
#include "run/run_inputs.h"

// The browser player's copies of a run's sounds: Ogg Opus files made from
// the sounds' original sources (audio/browser_copy.h) in the run's work
// folder, to be placed in audio/ beside the .au files. A copy is named
// after its .au ("x.au" gives "x.opus"), so the names the cache made unique
// stay unique.
namespace sonavelt::run {

// One sound of a run: the file the user chose and the .au the run uses
// (the same file for an .au used as it is).
struct RunSound {
  std::string source;
  std::string au_path;
  bool loop = false;  // a background sound: its copy is encoded as a loop
};

// The sounds of one role's list, paired index by index with the list's
// converted .au paths, appended to *sounds.
void AddRunSounds(const std::vector<std::string>& sources, const std::vector<std::string>& converted,
                  std::vector<RunSound>* sounds, bool loop = false);

// A copy made: where it is and its exact length in sample frames at 48 kHz.
struct BrowserCopyFile {
  std::string path;
  uint64_t frames = 0;
};
// Keyed by the .au path on disk.
using BrowserCopies = std::map<std::string, BrowserCopyFile>;

// The estimated work of one sound's steps, in seconds of one core: its
// .au conversion (the decoding included, when the conversion decodes) and
// its copy (its own decoding when the conversion decoded nothing, the
// resampling to 48000 Hz and the encoding). Estimated from the sound's
// header (length, channels, rate, format), never by decoding it.
struct SoundWorkEstimate {
  double conversion = 0;
  double copy_decoding = 0;  // only for a sound its conversion does not decode
  double resampling = 0;
  double encoding = 0;
  double copy() const { return copy_decoding + resampling + encoding; }
};
SoundWorkEstimate EstimateSoundWork(const std::string& source);

// Makes the copies of a run's sounds (each .au once; as a loop when any of
// its uses is a loop) in work_folder, several at once (one per processor
// core), while the run converts: the conversion of a sound hands its
// decoded samples over (DecodedSinkFor), and its copy is queued when the
// .au is made (Queue), so each sound is decoded once. At most as many
// decoded sounds wait for a worker as there are workers: Queue waits for
// room first.
//
// `progress`, when set, is told on the calling thread (the copies are made
// on others) the source of the copy begun last and how far the whole work
// (the conversions counted through ConversionDone, and the copies) is, in
// thousandths, each step weighted by its estimate (EstimateSoundWork): when
// a copy begins, and when the share has moved, at most every
// kCopyProgressMs and at least that often while the share moves, during
// Queue's waits and Finish.
using CopyProgress = std::function<void(const std::string& source, int permille)>;
inline constexpr int kCopyProgressMs = 200;

class BrowserCopyMaker {
 public:
  // With count_conversions unset the conversions are taken as done (their
  // share counts from the start).
  BrowserCopyMaker(const std::vector<RunSound>& sounds, std::string work_folder,
                   const audio::ConversionControl& control, CopyProgress progress = {},
                   bool count_conversions = true);
  // Copies not yet begun are dropped; the workers are waited for.
  ~BrowserCopyMaker();
  BrowserCopyMaker(const BrowserCopyMaker&) = delete;
  BrowserCopyMaker& operator=(const BrowserCopyMaker&) = delete;

  // What the conversion of au_path hands its decoded samples to
  // (audio::ConversionControl::decoded); null when it has no copy to make.
  audio::DecodedSoundSink* DecodedSinkFor(const std::string& au_path);
  // The conversion of au_path is `percent` done.
  void ConversionDone(const std::string& au_path, int percent);
  // Queues the copy of au_path (made from what its conversion decoded, else
  // from its source); a second call for one .au does nothing.
  void Queue(const std::string& au_path);
  // Queues what is left, waits for every copy, and answers as
  // MakeBrowserCopies does.
  Status Finish(BrowserCopies* copies);

  // The whole work done, in thousandths (see above).
  int permille() const;

 private:
  struct Sound;
  void Work();
  void MakeCopy(Sound& sound);
  // Waits until `done` holds, telling progress at least every
  // kCopyProgressMs.
  void WaitTelling(const std::function<bool()>& done);
  void Tell();

  std::vector<std::unique_ptr<Sound>> sounds_;
  std::string work_folder_;
  audio::ConversionControl control_;
  CopyProgress progress_;
  double total_work_ = 0;
  size_t worker_count_ = 1;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Sound*> queue_;  // guarded by mutex_
  size_t busy_ = 0;           // copies being made; guarded by mutex_
  bool closing_ = false;      // guarded by mutex_
  std::atomic<bool> failed_{false};
  std::atomic<bool> stop_{false};  // set when the maker goes before its copies are made
  long shown_ = -1;  // the sound whose copy the text names
  int shown_permille_ = -1;
};

// Makes the copy of each sound in work_folder with a BrowserCopyMaker, each
// decoding its own source. A failure stops the copies not yet begun and
// answers the message that names the file (the first in the sounds'
// order); a cancel answers Status::Cancelled. *copies holds the copies made
// either way (the work folder's clean-up removes them).
Status MakeBrowserCopies(const std::vector<RunSound>& sounds, const std::string& work_folder,
                         const audio::ConversionControl& control, BrowserCopies* copies,
                         const CopyProgress& progress = {});

// The run's sounds that get copies: those of `sounds`, paired with the .au
// paths in the converted lists (each role's list, index by index).
std::vector<RunSound> RunSoundsOf(const SoundSet& sounds, const std::vector<std::string>& entrance,
                                  const std::vector<std::string>& exit,
                                  const std::vector<std::string>& background);

// The status text while the copy of `source` is made:
// "Making the browser copy of NAME", NAME its file name.
std::string BrowserCopyProgressText(const std::string& source);

// "x.au" as "x.opus" (any other name gets ".opus" added): the copy's file
// name, and its name for the player beside the .au's.
std::string BrowserCopyNameFor(const std::string& au_name);

// Fills the copy fields of the player's sound entries (au_path, au_name in;
// copy_path, copy_name, frame_count out) from the copies made; entries
// without a copy are left as they are.
template <class PlayerSound>
void FillBrowserCopyFields(const BrowserCopies& copies, std::vector<PlayerSound>* sounds) {
  for (PlayerSound& sound : *sounds) {
    auto copy = copies.find(sound.au_path);
    if (copy == copies.end()) continue;
    sound.copy_path = copy->second.path;
    sound.copy_name = BrowserCopyNameFor(sound.au_name);
    sound.frame_count = copy->second.frames;
  }
}

}  // namespace sonavelt::run
