#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/status.h"
#include "base/user_interface.h"

// What a player without an .au reader plays for a sound the user chose (the
// Play button's work without a screen).
namespace sonavelt::audio {
class AuCache;
}

namespace sonavelt::run {

// The playable ".wav" copies of .au sounds, made in the program's cache
// folder and kept while the program runs (audio/au_cache.h). Thread-safe.
class SoundPreviews {
 public:
  explicit SoundPreviews(std::string cache_folder);
  ~SoundPreviews();

  // Checks the sound at `path` as a run does (CheckSoundPath, then
  // CheckSoundContents; sound_files.h) and answers in
  // *playable the file to play: the sound itself, or for one that holds a
  // Sun .au its WAVE copy, made now (show_wait(true) before, show_wait(false)
  // after; show_wait may be empty) unless a current one is kept.
  Status PlayableFile(const std::string& path, Questions& questions,
                      const std::function<void(bool waiting)>& show_wait, std::string* playable);

 private:
  std::unique_ptr<audio::AuCache> cache_;
};

}  // namespace sonavelt::run
