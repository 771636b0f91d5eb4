#pragma once

#include <cstdint>
#include <string>

#include "audio/wave_reader.h"
#include "base/user_interface.h"

// The checks a sound path goes through before it is played or used in a
// run. Each check tells its own message (system-modal) and answers false
// (or 0); callers only decide where to go next. FileExists and
// HasSoundExtension tell nothing: their callers choose the message
// (ReportMissing, ReportUnsupported).
namespace sonavelt::audio {

// True when path names a regular file that can be opened for reading (a
// folder, a FIFO, a device, a missing or unreadable file: false). Never
// reads, and never waits on a FIFO.
bool FileExists(const std::string& path);

// The message for a path FileExists refused; kind is "audio" for sounds and
// "HTML" for the page. A path that names a FIFO, a device or a socket is
// told so; any other (a folder too), that it was not found.
void ReportMissing(const std::string& path, const std::string& kind, UserInterface& ui);

// True when the path contains ".wav" or ".au" anywhere, in any letter case,
// or its file name ends in a decoded format's extension (sound_decoder.h).
bool HasSoundExtension(const std::string& path);

void ReportUnsupported(const std::string& path, UserInterface& ui);

// The format check of the sound's kind. A sound NeedsDecoder picks (another
// format, or a WAVE file beyond 8/16-bit PCM): CheckDecodedSound, which
// behaves as CheckWaveFile does. A WAVE path (".wav" is tested before
// ".au"): CheckWaveFile, which asks the format question while
// state.preparing_run is set and raises state.max_wave_frames. An .au path:
// CheckSunAuFile. Anything else: ReportUnsupported and false.
bool CheckSoundFile(const std::string& path, WaveCheckState& state, UserInterface& ui);

// The file's length in bytes, or 0 after a message: the empty-file message
// for a file of length 0, the cannot-open message when it cannot be read.
int64_t CheckNotEmpty(const std::string& path, UserInterface& ui);

}  // namespace sonavelt::audio
