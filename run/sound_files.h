#pragma once

#include <atomic>
#include <string>

#include "base/status.h"
#include "base/user_interface.h"

// A sound file the user names, checked and converted one at a time as a run
// checks and converts its sounds (audio/), for what works on one sound
// outside a run: the wizard's sound pages and the command line's convert.
namespace sonavelt::run {

// A file that can be read; else MissingFile's message.
Status CheckSoundReadable(const std::string& path);
// A sound file's extension; else UnsupportedFile's message.
Status CheckSoundName(const std::string& path);
// Both, in that order: what a run checks before it reads a sound.
Status CheckSoundPath(const std::string& path);
// The format check of the sound's contents, without the format question:
// nothing is converted for the answer. `questions` hears nothing today.
Status CheckSoundContents(const std::string& path, Questions& questions);

// The default name of a sound's converted copy, from its file name only:
// "Bell.WAV" -> "Bell.au" (audio/sound_names.h).
std::string ConvertedNameOf(const std::string& path);
// True when the two paths name one existing file (links followed).
bool IsSameFile(const std::string& a, const std::string& b);

// Converts `sound` into the player's 8000 Hz mono mu-law .au at `out`, as a
// run does; `out` appears only when complete. `cancel` (may be null) is
// read after every piece read: then Status::Cancelled, nothing written.
Status ConvertSound(const std::string& sound, const std::string& out,
                    const std::atomic<bool>* cancel);

}  // namespace sonavelt::run
