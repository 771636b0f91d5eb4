#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

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

}  // namespace sonavelt::audio
