#pragma once

#include <cstdint>
#include <string>

namespace sonavelt::audio {

// Encoding names a sound format can carry.
inline constexpr const char kPcmEncoding[] = "PCM";
inline constexpr const char kMuLawEncoding[] = "Mu-Law";

// The format of one sound as the readers found it (and as the conversion
// changes it). A plain value: each reader answers its own copy, nothing is
// shared between sounds or threads.
struct SoundFormat {
  std::string encoding_name;  // kPcmEncoding after a WAVE format read
  int channel_count = 0;      // channels of the source (1 or 2 for WAVE)
  int bits_per_sample = 0;    // 8 or 16 for WAVE
  int sample_rate = 0;        // samples per second
  int64_t frame_count = 0;    // sample frames in the data chunk (after a rate
                              // change: frames left)
};

}  // namespace sonavelt::audio
