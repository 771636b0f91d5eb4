#pragma once

#include <string>

#include "audio/conversion_progress.h"
#include "base/status.h"

// WAVE to Sun .au conversion: decode the first channel, change the rate to
// 8000 Hz by dropping samples (RateChanger), mu-law encode, write the .au
// (au_writer.h). The input is read in pieces and the codes are written to
// the file as they are made, so memory stays the same (a few MB) whatever
// the length of the sound, and nothing is sized ahead from earlier
// measurements of the file.
namespace sonavelt::audio {

enum class ConversionOutcome {
  kConverted,    // the .au file is complete
  kRefused,      // the WAVE file is faulty; status carries its message
  kCancelled,    // stopped by control's cancel; no .au file was left
  kWriteFailed,  // the .au could not be written; status carries its message
};

// What a conversion came to, and the message a front end shows for it (in
// its box; ok for kConverted, cancelled for kCancelled).
struct ConversionResult {
  ConversionOutcome outcome = ConversionOutcome::kConverted;
  Status status;
};

// Converts one sound file into au_path, read as its contents say
// (sound_kind.h): a WAVE the WAVE reader covers by it; a Sun .au that is
// already 8000 Hz mono mu-law copied byte for byte; anything else through
// ConvertDecodedSound (sound_decoder.h), with that function's messages (a
// WAVE no decoder reads keeps the WAVE reader's). Faults of the file come
// back with the readers' short plain-box messages (the .au header faults
// with their own), a failed write with a system-modal message. No format
// question is asked. au_path holds the
// complete result after kConverted and is left untouched otherwise (the
// codes go to a temporary file beside it, renamed into place at the end).
//
// Progress is reported, and cancel checked, at the tenth marks
// (count x k) / 10, k = 1 to 9, of the output count (once per distinct
// mark; before the first code when count < 10), as (100 x mark) / count.
// The count is exact for sounds up to 2^22 frames and the rate ratio's
// estimate beyond (off by a code or two, which no percentage shows).
// Cancel is also checked after every piece of input read. A run moves its
// bar through each file's share with
//   control.report_progress = [&](int percent) {
//     panel.SetPosition(ConversionProgressPosition(percent, converted_count,
//                                                  combination_count, no_background));
//   };
ConversionResult ConvertWaveFile(const std::string& wave_path, const std::string& au_path,
                                 const ConversionControl& control);

}  // namespace sonavelt::audio
