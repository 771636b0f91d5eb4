#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "audio/au_cache.h"
#include "audio/posix_file.h"
#include "base/user_interface.h"

// The Sun .au reader: sounds chosen as .au files go to the site unchanged,
// so the program only makes sure they are mu-law .au files with a sane
// header; for the Play button it writes an 8-bit PCM WAVE copy.
//
// Header: six big-endian u32 fields (magic ".snd", data offset, data size,
// encoding, sample rate, channels), then an annotation up to the data
// offset. Encoding 1 is 8-bit mu-law, the only one accepted.
namespace sonavelt::audio {

class SunAuReader {
 public:
  // Opens the file and validates its header. Faults come back with their
  // message (system-modal box): the cannot-open message, "<path> is not an
  // .au file !..." for a wrong magic, and the header fault message for a
  // data offset below 24, an encoding other than 1, a zero rate or channel
  // count, or an annotation that runs to the end of the file.
  Status Check(const std::string& path);

  // After a successful Check: writes wav_path as an 8-bit PCM WAVE file of
  // the .au's rate and channel count, each mu-law code expanded (G.711) and
  // its high byte made unsigned. The file appears only when complete; a
  // failure answers the reason (the system's words) as its message.
  Status WriteAuAsWave(const std::string& wav_path) const;

  uint32_t sample_rate() const { return sample_rate_; }
  uint32_t channel_count() const { return channel_count_; }
  // Offset of the first sample byte (the header's data offset).
  uint64_t data_offset() const { return data_offset_; }

 private:
  std::optional<InputFile> file_;
  uint32_t sample_rate_ = 0;
  uint32_t channel_count_ = 0;
  uint64_t data_offset_ = 0;
};

// True for a checked .au the player takes as it is: 8000 Hz mono (its
// encoding, mu-law, is all the check lets through). Any other is converted.
bool IsPlayerReadyAu(const SunAuReader& reader);

// Checks an .au file's header; see SunAuReader::Check.
Status CheckSunAuFile(const std::string& path);

// The WAVE byte for one mu-law code in a preview copy.
uint8_t PreviewByteOfMuLaw(uint8_t code);

// The playable ".wav" copy of an .au sound in the cache folder, made on
// construction unless the cache holds a current one.
class AuPreviewCopy {
 public:
  AuPreviewCopy(const std::string& au_path, AuCache& cache);

  const std::string& wav_path() const { return wav_path_; }
  // True when wav_path holds a copy of this .au (made now or earlier).
  bool success() const { return status_.ok(); }
  // Why there is no copy: the header check's message, or the cannot-write
  // message (both system-modal boxes).
  const Status& status() const { return status_; }

 private:
  std::string wav_path_;
  Status status_;
};

}  // namespace sonavelt::audio
