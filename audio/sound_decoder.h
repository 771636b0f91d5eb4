#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "audio/conversion_progress.h"
#include "audio/posix_file.h"
#include "audio/sound_format.h"
#include "audio/wave_converter.h"
#include "audio/wave_reader.h"
#include "base/user_interface.h"

// Sounds in the formats the WAVE reader does not cover (MP3, FLAC, Ogg
// Vorbis and Opus, AIFF, and WAVE files of other sample widths, floating
// point samples or the extensible format tag), decoded with libsndfile.
// Plain 8- and 16-bit PCM WAVE files never come here: they keep the WAVE
// reader and its byte-exact conversion.
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
// WAVE reader: a decoded-format name, or a ".wav" file whose format chunk
// the WAVE reader refuses for its encoding (format tag other than PCM:
// floating point, extensible, compressed) or its sample width (other than
// 8 or 16 bits). Any other WAVE fault (a plain PCM file of three or more
// channels, a truncated or garbled file) stays the WAVE reader's to report.
bool NeedsDecoder(const std::string& path);

// One sound file opened for decoding. Samples come out as interleaved
// floats in -1..1 (a floating-point source may exceed that range), in
// whatever blocks the caller asks for; nothing is held beyond libsndfile's
// own buffers.
class SoundDecoder {
 public:
  // The opened file, or nullopt with *error set to libsndfile's reason.
  static std::optional<SoundDecoder> Open(const std::string& path, std::string* error);

  SoundDecoder(SoundDecoder&&) noexcept;
  SoundDecoder& operator=(SoundDecoder&&) noexcept;
  ~SoundDecoder();

  int channels() const { return channels_; }
  int sample_rate() const { return sample_rate_; }
  // The frame count the file states (for MP3 possibly an estimate; the
  // frames actually read are what counts).
  int64_t frame_count() const { return frame_count_; }
  // The sound's format for the format-change question: sample width 8,
  // 16, 24 or 32 for PCM and floating point data, 16 for compressed data.
  SoundFormat format() const;

  // Reads up to max_frames frames into out (room for max_frames x
  // channels() floats). Answers the frames read, 0 at the end, or -1 after
  // a decoding error (error() then says why).
  int64_t Read(float* out, int64_t max_frames);
  const std::string& error() const { return error_; }

 private:
  struct Handle;
  explicit SoundDecoder(std::unique_ptr<Handle> handle);

  std::unique_ptr<Handle> handle_;
  int channels_ = 0;
  int sample_rate_ = 0;
  int64_t frame_count_ = 0;
  int subtype_ = 0;
  std::string error_;
};

// "<path> cannot be decoded: <reason>.\r\nPlease select another audio file."
std::string CannotDecodeMessage(const std::string& path, const std::string& reason);

// The check of a decoded sound, as CheckWaveFile is for WAVE files: opens
// it and decodes its first block, asks the format-change question while
// state.preparing_run is set, and raises state.max_wave_frames.
// CannotDecodeMessage (system-modal) when the file cannot be decoded or
// holds no sound; Status::Cancelled when the user answers No.
Status CheckDecodedSound(const std::string& path, Questions& questions, WaveCheckState& state);

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
                                     const ConversionControl& control);

}  // namespace sonavelt::audio
