#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "audio/conversion_progress.h"
#include "audio/posix_file.h"
#include "audio/sound_format.h"
#include "audio/sound_kind.h"
#include "audio/wave_converter.h"
#include "audio/wave_reader.h"
#include "base/user_interface.h"

// Sounds in the formats the WAVE reader does not cover (MP3, FLAC, Ogg
// Vorbis and Opus, AIFF, Sun .au files that need converting, and WAVE files
// of other sample widths, floating point samples, the extensible format tag
// or a compressed encoding libsndfile knows), decoded with libmpg123 (MP3)
// and libsndfile (the others). The kind of a file is told from its contents
// (sound_kind.h), never from its name, and neither library is handed a file
// of an unknown kind, so neither ever guesses. libmpg123 runs with its quiet
// flag and libsndfile keeps its log to itself: nothing but the program's own
// messages reaches the terminal. Plain 8- and 16-bit PCM WAVE files never
// come here: they keep the WAVE reader and its byte-exact conversion.
namespace sonavelt::audio {

// The file-name endings (any letter case) of the decoded formats, and the
// same as a file-chooser pattern list.
inline constexpr const char* kDecodedSoundExtensions[] = {".mp3", ".flac", ".ogg", ".oga",
                                                          ".opus", ".aif", ".aiff", ".aifc"};
inline constexpr char kDecodedSoundPatterns[] =
    "*.mp3 *.flac *.ogg *.oga *.opus *.aif *.aiff *.aifc";

// True when the path's file name ends in one of kDecodedSoundExtensions.
// Only the end counts, unlike the ".wav"/".au" rule: "x.mp3" is decoded,
// "x.mp3.bak" is not a sound.
bool IsDecodedSoundPath(const std::string& path);

// The path's file name without its decoded-format extension ("a/Song.MP3"
// gives "Song"); the whole file name when it has none.
std::string DecodedSoundStem(const std::string& path);

// True when the sound at path goes through the decoder rather than the
// WAVE or Sun .au reader: its contents are MP3, FLAC, Ogg or AIFF, or a
// WAVE whose format chunk the WAVE reader refuses for its encoding (format
// tag other than PCM: floating point, extensible, compressed) or its sample
// width (other than 8 or 16 bits). Any other WAVE fault (a plain PCM file of
// three or more channels, a truncated or garbled file) stays the WAVE
// reader's to report; a file of unknown contents is no decoder's.
bool NeedsDecoder(const std::string& path);

// One sound file opened for decoding. Samples come out as interleaved
// floats in -1..1 (a floating-point source may exceed that range), in
// whatever blocks the caller asks for; nothing is held beyond libsndfile's
// own buffers.
class SoundDecoder {
 public:
  // Opens path into *decoder. A failure leaves *decoder empty and answers
  // the reason in words for the user (the library's, where it says
  // something useful) as the message of: Status::IoError when the file
  // cannot be opened (the system's words), Status::Corrupt exactly when the
  // sound data ends before the file says (IsCutShort; for FLAC, its last
  // stated sample cannot be reached), Status::InvalidArgument for any other
  // fault of its contents.
  static Status Open(const std::string& path, std::optional<SoundDecoder>* decoder);

  SoundDecoder(SoundDecoder&&) noexcept;
  SoundDecoder& operator=(SoundDecoder&&) noexcept;
  ~SoundDecoder();

  SoundKind kind() const { return kind_; }
  int channels() const { return channels_; }
  int sample_rate() const { return sample_rate_; }
  // The frame count the file states (for MP3 possibly an estimate; the
  // frames actually read are what counts).
  int64_t frame_count() const { return frame_count_; }
  // The sound's format for the format-change question: sample width 8,
  // 16, 24 or 32 for PCM and floating point data, 16 for compressed data.
  SoundFormat format() const;

  // Reads up to max_frames frames into out (room for max_frames x
  // channels() floats) and sets *frames to the frames read, 0 at the end.
  // A decoding error answers Status::InvalidArgument with the library's
  // reason in words as its message.
  Status Read(float* out, int64_t max_frames, int64_t* frames);

 private:
  struct Handle;
  explicit SoundDecoder(std::unique_ptr<Handle> handle);

  std::unique_ptr<Handle> handle_;
  SoundKind kind_ = SoundKind::kUnknown;
  int channels_ = 0;
  int sample_rate_ = 0;
  int64_t frame_count_ = 0;
  int subtype_ = 0;
};

// "<path> cannot be decoded: <reason>.\r\nPlease select another audio file."
std::string CannotDecodeMessage(const std::string& path, const std::string& reason);

// The check of a decoded sound, as CheckWaveFile is for WAVE files: opens
// it (the cut-short check included) and decodes its first block, then asks
// the format-change question while state.preparing_run is set, and raises
// state.max_wave_frames. CutShortMessage or CannotDecodeMessage
// (system-modal) when the file is cut, cannot be decoded or holds no sound,
// with DescribedPath naming a misnamed file; Status::Cancelled when the user
// answers No. `refusal`, when not empty, replaces the open failure's
// message (a WAVE that no decoder reads keeps the WAVE reader's own words).
Status CheckDecodedSound(const std::string& path, Questions& questions, WaveCheckState& state,
                         const std::string& refusal = "");

// The player's .au file made from a decoded sound: the first channel of
// each frame, as a 16-bit-range value (floor(x * 32768), clipped), through
// the same rate change (RateChanger), mu-law encoder and header as the
// WAVE conversion. The input is read in blocks and the codes written as they
// are made, so memory stays the same whatever the sound's length. A
// decoding fault comes back as kRefused with CannotDecodeMessage (plain
// box); a failed write as kWriteFailed with the cannot-write message
// (system-modal). Cancel
// is checked after every block; progress is reported at the tenth marks of
// the input. au_path appears only when complete.
ConversionResult ConvertDecodedSound(const std::string& path, const std::string& au_path,
                                     const ConversionControl& control,
                                     const std::string& refusal = "");

}  // namespace sonavelt::audio
