#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/conversion_progress.h"

// The Sun .au file the page's player accepts: 8000 Hz, 8-bit mu-law, mono.
//
// Header, all fields big-endian:
//   0  ".snd"           16  sample rate: 8000
//   4  data offset: 34  20  channels: 1
//   8  data size        24  "Sonavelt" (8 characters, no terminator)
//  12  encoding: 1      32  two zero bytes
// The samples start at 34, one mu-law code per frame.
namespace sonavelt::audio {

inline constexpr size_t kAuHeaderSize = 34;
inline constexpr uint32_t kAuMuLawEncoding = 1;

std::array<uint8_t, kAuHeaderSize> SunAuHeader(uint32_t data_size);

enum class WriteOutcome { kWritten, kCancelled, kWriteFailed };

// Writes the header and `count` mu-law codes to au_path. Progress is
// reported, and cancel checked, at the tenth marks (count x k) / 10, k = 1 to
// 9, of the output (once per distinct mark; before the first byte when
// count < 10). The file appears under au_path only when complete: a cancel
// or a failed write leaves no file of that name behind (an earlier file of
// that name is kept). *error gets the system's text of a failed write.
WriteOutcome WriteSunAu(const std::string& au_path, const uint8_t* codes, size_t count,
                        const ConversionControl& control, std::string* error);

}  // namespace sonavelt::audio
