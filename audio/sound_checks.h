#pragma once

#include <cstdint>
#include <string>

#include "audio/au_cache.h"
#include "audio/wave_reader.h"
#include "base/user_interface.h"

// The checks a sound path goes through before it is played or used in a
// run. Each check tells its own message (system-modal) and answers false
// (or 0); callers only decide where to go next. FileExists and
// HasSoundExtension tell nothing: their callers choose the message
// (ReportMissing, ReportUnsupported).
namespace sonavelt::audio {

// True when path names a file that can be opened for reading (a folder, a
// missing or unreadable file: false).
bool FileExists(const std::string& path);

// kind is "audio" for sounds and "HTML" for the page.
void ReportMissing(const std::string& path, const std::string& kind, UserInterface& ui);

// True when the path contains ".wav" or ".au" anywhere, in any letter case,
// or its file name ends in a decoded format's extension (sound_decoder.h).
bool HasSoundExtension(const std::string& path);

void ReportUnsupported(const std::string& path, UserInterface& ui);

// The format check of the sound's kind. A WAVE or decoded-format path (tested
// before ".au") that the cache holds a current conversion of passes at once,
// without a question; otherwise CheckDecodedSound when NeedsDecoder, else
// CheckWaveFile (both ask the format question while state.preparing_run is
// set and raise state.max_wave_frames). An .au path: CheckSunAuFile. Anything else:
// ReportUnsupported and false.
bool CheckSoundFile(const std::string& path, const AuCache& cache, WaveCheckState& state,
                    UserInterface& ui);

// The file's length in bytes, or 0 after a message: the empty-file message
// for a file of length 0, the cannot-open message when it cannot be read.
int64_t CheckNotEmpty(const std::string& path, UserInterface& ui);

}  // namespace sonavelt::audio
