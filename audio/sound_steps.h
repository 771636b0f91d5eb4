#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/sound_format.h"
#include "base/user_interface.h"

// The conversion steps on a whole decoded sound, in the order the converter
// applies them: MakeMono, ChangeRate, ChangeEncoding. The converter streams
// and fuses them (wave_converter.h); these are the same rules on a buffer,
// for small sounds and as the reference the fused path must match.
namespace sonavelt::audio {

// One channel: the decoder already kept the first channel of each frame.
void MakeMono(SoundFormat& format);

// Keeps (or, below the target rate, repeats) the samples RateChanger picks;
// frame_count becomes the number of samples left. sample_rate is left as it
// was: the .au header states 8000 in any case.
void ChangeRate(SoundFormat& format, std::vector<int32_t>& samples, int target_rate);

// Mu-law encodes every sample (each becomes a code 0..255) when asked for
// kMuLawEncoding from PCM; a request the converter cannot make tells
// "Unimplemented Encoding change." (system-modal) and answers false.
bool ChangeEncoding(SoundFormat& format, std::vector<int32_t>& samples, const std::string& target,
                    UserInterface& ui);

}  // namespace sonavelt::audio
