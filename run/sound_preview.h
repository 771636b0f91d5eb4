#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/status.h"
#include "base/user_interface.h"

// A sound the user chose, before any run: the checks of its name, and what
// a player without an .au reader plays for it (the Play button's work
// without a screen).
namespace sonavelt::audio {
class AuCache;
}

namespace sonavelt::run {

// The checks a run makes of a sound's path before reading it: a file that
// can be read (else MissingFile's message), with a sound file's extension
// (else UnsupportedFile's).
Status CheckSoundPath(const std::string& path);

// The playable ".wav" copies of .au sounds, made in the program's cache
// folder and kept while the program runs (audio/au_cache.h). Thread-safe.
class SoundPreviews {
 public:
  explicit SoundPreviews(std::string cache_folder);
  ~SoundPreviews();

  // Checks the sound at `path` as a run does (CheckSoundPath, then its
  // format check, without the format question: nothing is converted for
  // the player) and answers in
  // *playable the file to play: the sound itself, or for one that holds a
  // Sun .au its WAVE copy, made now (show_wait(true) before, show_wait(false)
  // after; show_wait may be empty) unless a current one is kept.
  Status PlayableFile(const std::string& path, Questions& questions,
                      const std::function<void(bool waiting)>& show_wait, std::string* playable);

 private:
  std::unique_ptr<audio::AuCache> cache_;
};

}  // namespace sonavelt::run
