#pragma once

#include <cstdint>
#include <string>

#include "audio/wave_reader.h"
#include "base/status.h"
#include "base/user_interface.h"

// The checks a sound path goes through before it is played or used in a
// run. Each check answers a Status: ok, or the message to show (in the box
// style it carries, system-modal); Status::Cancelled when the user declined
// a format change (nothing to show). Callers show the message and decide
// where to go next. file_io::IsReadableFile and HasSoundExtension answer
// only yes or no: their callers choose the message (MissingFile,
// UnsupportedFile).
namespace sonavelt::audio {

// The message for a path file_io::IsReadableFile refused; kind is "audio"
// for sounds and "HTML" for the page. A path that names a FIFO, a device or a socket is
// told so; any other (a folder too), that it was not found.
Status MissingFile(const std::string& path, const std::string& kind);

// True when the path contains ".wav" or ".au" anywhere, in any letter case,
// or its file name ends in a decoded format's extension (sound_decoder.h).
bool HasSoundExtension(const std::string& path);

// The message for a path HasSoundExtension refused.
Status UnsupportedFile(const std::string& path);

// The format check of the sound's kind. A sound NeedsDecoder picks (another
// format, or a WAVE file beyond 8/16-bit PCM): CheckDecodedSound, which
// behaves as CheckWaveFile does. A WAVE path (".wav" is tested before
// ".au"): CheckWaveFile, which asks the format question while
// state.preparing_run is set and raises state.max_wave_frames. An .au path:
// CheckSunAuFile. Anything else: UnsupportedFile.
Status CheckSoundFile(const std::string& path, WaveCheckState& state, Questions& questions);

// The file's length in bytes into *length (0 on failure): the empty-file
// message for a file of length 0, the cannot-open message when it cannot be
// read.
Status CheckNotEmpty(const std::string& path, int64_t* length);

}  // namespace sonavelt::audio
