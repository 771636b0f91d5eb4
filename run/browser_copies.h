#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "audio/conversion_progress.h"
#include "base/status.h"
#include "run/run_inputs.h"
#include "run/run_state.h"

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

// Makes the copy of each sound (each .au once; as a loop when any of its
// uses is a loop) in work_folder, several at once (one per processor core).
// A failure stops the copies not yet begun and answers the message that
// names the file (the first in the sounds' order); a cancel answers
// Status::Cancelled. *copies holds the copies made either way (the work
// folder's clean-up removes them).
//
// `progress`, when set, is told on the calling thread (the copies are made
// on others) the source of the copy begun last and how far all the copies
// are, in thousandths of the work: when a copy begins, and when the share
// has moved, at most every kCopyProgressMs and at least that often while
// the share moves.
using CopyProgress = std::function<void(const std::string& source, int permille)>;
inline constexpr int kCopyProgressMs = 200;
Status MakeBrowserCopies(const std::vector<RunSound>& sounds, const std::string& work_folder,
                         const audio::ConversionControl& control, BrowserCopies* copies,
                         const CopyProgress& progress = {});

// The whole step of a run: the copies of every sound of `sounds` (paired
// with the .au paths in state's converted lists), made in work_folder and
// stopped by state's cancel request.
Status MakeRunBrowserCopies(const SoundSet& sounds, RunState& state,
                            const std::string& work_folder, BrowserCopies* copies,
                            const CopyProgress& progress = {});

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
