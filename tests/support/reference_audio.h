#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "audio/mulaw.h"
#include "audio/rate_change.h"
#include "audio/sound_format.h"
#include "audio/wave_reader.h"
#include "base/user_interface.h"

// Reference code for the tests: a WAVE file decoded whole into memory, and
// the conversion steps on that buffer in the order the converter applies
// them (MakeMono, ChangeRate, ChangeEncoding). The converter streams and
// fuses them (audio/wave_converter.h); its output must match these, byte
// for byte.
namespace sonavelt::testing {

// A whole WAVE file decoded: one value per frame from its first channel.
struct DecodedWave {
  audio::SoundFormat format;
  std::vector<int32_t> samples;
};

// Decodes a WAVE file into memory through the reader the converter uses;
// nullopt after the reader's short message (plain box) on a fault.
inline std::optional<DecodedWave> ReadWaveSamples(const std::string& path, UserInterface& ui) {
  std::optional<audio::OpenedWave> wave;
  if (Status opened = audio::OpenWaveForDecoding(path, &wave); !opened.ok()) {
    Show(ui, opened);
    return std::nullopt;
  }
  DecodedWave decoded;
  decoded.format = wave->layout.format;
  decoded.samples.reserve(static_cast<size_t>(decoded.format.frame_count));
  const int block = wave->layout.block_size;
  const int bits = decoded.format.bits_per_sample;
  Status streamed = audio::StreamWaveFrames(*wave, path, [&](const uint8_t* frames, size_t count) {
    for (size_t i = 0; i < count; ++i)
      decoded.samples.push_back(audio::FirstChannelSample(frames + i * block, bits));
    return true;
  });
  if (!streamed.ok()) {
    Show(ui, streamed);
    return std::nullopt;
  }
  return decoded;
}

// One channel: the decoder already kept the first channel of each frame.
inline void MakeMono(audio::SoundFormat& format) { format.channel_count = 1; }

// Keeps (or, below the target rate, repeats) the samples RateChanger picks;
// frame_count becomes the number of samples left. sample_rate is left as it
// was: the .au header states 8000 in any case.
inline void ChangeRate(audio::SoundFormat& format, std::vector<int32_t>& samples,
                       int target_rate) {
  if (target_rate == format.sample_rate) return;
  audio::RateChanger changer(format.sample_rate, target_rate);
  std::vector<int32_t> out;
  out.reserve(static_cast<size_t>(
      audio::MaxRateChangeOutputs(samples.size(), format.sample_rate, target_rate)));
  for (size_t j = 0; j < samples.size(); ++j) {
    for (int copies = changer.Next(); copies > 0; --copies) out.push_back(samples[j]);
  }
  samples.swap(out);
  format.frame_count = static_cast<int64_t>(samples.size());
}

// Mu-law encodes every sample (each becomes a code 0..255) when asked for
// kMuLawEncoding from PCM; a request the converter cannot make tells
// "Unimplemented Encoding change." (system-modal) and answers false.
inline bool ChangeEncoding(audio::SoundFormat& format, std::vector<int32_t>& samples,
                           const std::string& target, UserInterface& ui) {
  if (target == format.encoding_name) return true;
  if (target == audio::kMuLawEncoding && format.encoding_name == audio::kPcmEncoding) {
    for (int32_t& s : samples) s = audio::EncodeMuLaw(s);
    format.encoding_name = audio::kMuLawEncoding;
    return true;
  }
  ui.Tell(BoxStyle::kSystemModal, "Unimplemented Encoding change.");
  return false;
}

}  // namespace sonavelt::testing
