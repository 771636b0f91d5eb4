#pragma once

#include <string>

#include "audio/au_cache.h"
#include "audio/conversion_progress.h"
#include "base/user_interface.h"

// WAVE to Sun .au conversion: decode the first channel, change the rate to
// 8000 Hz by dropping samples (RateChanger), mu-law encode, write the .au
// (au_writer.h). The input is streamed in pieces and only the output codes
// are kept, so memory grows with the output (8000 bytes per second of
// sound), not with the input, and nothing is sized ahead from earlier
// measurements of the file.
namespace sonavelt::audio {

enum class ConversionOutcome {
  kConverted,    // the .au file is complete
  kReused,       // a current conversion of this source was already there
  kNotWave,      // the path names no WAVE file: used as it is
  kRefused,      // the WAVE file is faulty; its message was told
  kCancelled,    // stopped at a tenth mark; no .au file was left
  kWriteFailed,  // the .au could not be written; a message was told
};

// Converts one WAVE file into au_path. A file NeedsDecoder picks (another
// format, or a WAVE file beyond 8/16-bit PCM) goes to ConvertDecodedSound
// instead (sound_decoder.h), with that function's messages. Faults of the file are told through
// ui with the reader's short plain-box messages, a failed write with a
// system-modal message. No format question is asked. au_path holds the
// complete result after kConverted and is left untouched otherwise.
ConversionOutcome ConvertWaveFile(const std::string& wave_path, const std::string& au_path,
                                  UserInterface& ui, const ConversionControl& control);

// One conversion into the cache: construction performs it (unless the cache
// already holds a current copy) and records the result in the cache.
class WaveConverter {
 public:
  WaveConverter(const std::string& wave_path, AuCache& cache, UserInterface& ui,
                const ConversionControl& control);

  // The .au path aimed at, whether or not the conversion succeeded.
  const std::string& au_path() const { return au_path_; }
  ConversionOutcome outcome() const { return outcome_; }

 private:
  std::string au_path_;
  ConversionOutcome outcome_;
};

// The .au path a run uses for a sound path: the path itself when it names no
// WAVE file (no ".wav" in any case) and no decoded format; else the cache's current conversion,
// converting first when there is none. The answer is the .au path even when
// the conversion failed (the failure was told); *outcome says which, and
// only kConverted and kReused leave a file there. Before converting, a
// caller that wants to show the target asks cache.AuPathFor(path): it names
// the same file. A run moves its bar through each file's share with
//   control.report_progress = [&](int percent) {
//     panel.SetPosition(ConversionProgressPosition(percent, converted_count,
//                                                  combination_count, no_background));
//   };
std::string ConvertIfWav(const std::string& path, AuCache& cache, UserInterface& ui,
                         const ConversionControl& control, ConversionOutcome* outcome = nullptr);

}  // namespace sonavelt::audio
