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

// The format check of a sound, read as its contents say (sound_kind.h),
// whatever its name: a WAVE the WAVE reader covers by CheckWaveFile; a WAVE
// it refuses for its encoding or sample width, and MP3, FLAC, Ogg and AIFF,
// by CheckDecodedSound (a WAVE no decoder reads keeps the WAVE reader's
// message); a Sun .au by its header check, then, when it is not 8000 Hz
// mono and so will be converted, the format question. Every kind is checked
// for being cut short (IsCutShort) before any question is asked; the
// question is asked only while state.preparing_run is set, and
// state.max_wave_frames is raised. Contents nothing reads get the message of
// the kind the name promises (a decoded format's ending is tested first,
// then ".wav", then ".au"); a name without a sound extension gets
// UnsupportedFile. Messages about a misnamed file say what it holds
// (DescribedPath).
Status CheckSoundFile(const std::string& path, WaveCheckState& state, Questions& questions);

// The file's length in bytes into *length (0 on failure): the empty-file
// message for a file of length 0, the cannot-open message when it cannot be
// read.
Status CheckNotEmpty(const std::string& path, int64_t* length);

}  // namespace sonavelt::audio
