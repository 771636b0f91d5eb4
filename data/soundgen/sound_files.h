#pragma once

#include <cstdint>
#include <string>

#include "data/soundgen/signal.h"

// Turns finished signals into the bytes of the two file formats the program
// ships. Samples are expected in [-1, 1]; anything beyond is clipped.
namespace sonavelt::soundgen {

// A canonical 44-byte-header PCM WAVE file: format 1, mono, 8-bit unsigned
// (silence is 0x80), at `rate` frames per second.
std::string WaveBytes(const Samples& s, int rate = kRate);

// A Sun .au file as the applet plays them: 34-byte header (".snd", offset 34,
// data size, encoding 1 = 8-bit mu-law, `rate`, 1 channel, "Sonavelt", two
// zero bytes; big-endian fields), then one mu-law code per frame.
std::string AuBytes(const Samples& s, int rate);

// G.711 mu-law code of a 16-bit linear sample (bias 132, clip 32635; code 0 is
// written as 0x02), matching the encoder the program converts WAVE files with.
uint8_t MuLawCode(int sample);

// Writes `bytes` to `path`, replacing any file; false when that fails.
bool WriteBytes(const std::string& path, const std::string& bytes);

}  // namespace sonavelt::soundgen
