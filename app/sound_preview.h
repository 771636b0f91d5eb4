#pragma once

#include <functional>
#include <string>

#include "base/user_interface.h"
#include "run/sound_preview.h"

// The Play button of the sound pages, without a screen.
namespace sonavelt::app {

// Plays a sound file to its end (the window takes no input meanwhile).
class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  // False when the sound cannot be played (no sound device).
  virtual bool PlayAndWait(const std::string& path) = 0;
};

// The message shown when the sound cannot be played.
inline constexpr char kCannotPlayMessage[] =
    "Cannot play sound.\r\nSonavelt works much better with a sound card.";

// Checks the sound at path as a run does (without the format question) and
// plays it: a file of any accepted format as it is, one that holds a Sun .au
// from its WAVE copy (run::SoundPreviews::PlayableFile, which calls
// show_wait). Every refusal tells its own message and answers false; so
// does a sound the output cannot play (kCannotPlayMessage).
bool PlaySelectedSound(const std::string& path, run::SoundPreviews& previews, UserInterface& ui,
                       SoundOutput& output, const std::function<void(bool)>& show_wait);

}  // namespace sonavelt::app
