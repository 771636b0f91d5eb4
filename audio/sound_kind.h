#pragma once

#include <cstdint>
#include <string>

#include "audio/posix_file.h"

// What a sound file holds, told from its first bytes rather than its name,
// and whether its sound data is all there. Every check and conversion asks
// this first, so that one file is read the same way by every command
// whatever it is called.
namespace sonavelt::audio {

enum class SoundKind {
  kUnknown,  // none of the formats below
  kWave,     // "RIFF" <size> "WAVE"
  kSunAu,    // ".snd"
  kMp3,      // an ID3v2 tag or an MPEG audio frame followed by another
  kFlac,     // "fLaC"
  kOgg,      // "OggS" (Vorbis, Opus)
  kAiff,     // "FORM" <size> "AIFF" or "AIFC"
};

// The kind the file's first bytes show.
SoundKind SniffSoundKind(const InputFile& file);

// True when the file at path can be opened and holds a Sun .au.
bool HoldsSunAu(const std::string& path);

// The kind a path's name promises: a decoded format's extension
// (sound_decoder.h) at the end of the file name; else ".wav", then ".au",
// anywhere in the path (the older rule for those two); else kUnknown.
SoundKind KindOfName(const std::string& path);

// The kind as the messages name it: "WAVE", "Sun .au", "MP3", "FLAC",
// "Ogg", "AIFF"; "unknown" for kUnknown.
const char* KindName(SoundKind kind);

// The path as a message names a file: the path itself when its name
// promises what it holds, else the path followed by what the contents are
// (" (a FLAC file)"), so a message about a misnamed file says what it is.
std::string DescribedPath(const std::string& path, SoundKind contents);

// True when the file's sound data ends before its header or stream says it
// does: a WAVE "data" or AIFF "SSND" chunk that runs past the end of the
// file, a Sun .au whose stated data size runs past it, an Ogg stream whose
// last page is cut or carries no end-of-stream mark, an MP3 whose last
// frame is cut or that has fewer frames than its Xing or VBRI header
// counts. FLAC files are checked by the decoder (SoundDecoder::Open). A
// file whose sizes are left open (0xFFFFFFFF, as streaming writers leave
// them) is not cut.
bool IsCutShort(const InputFile& file, SoundKind kind);

}  // namespace sonavelt::audio
