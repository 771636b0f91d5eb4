#include "audio/sound_steps.h"

#include "audio/mulaw.h"
#include "audio/rate_change.h"
#include "audio/sound_messages.h"

namespace sonavelt::audio {

void MakeMono(SoundFormat& format) { format.channel_count = 1; }

void ChangeRate(SoundFormat& format, std::vector<int32_t>& samples, int target_rate) {
  if (target_rate == format.sample_rate) return;
  RateChanger changer(format.sample_rate, target_rate);
  std::vector<int32_t> out;
  out.reserve(static_cast<size_t>(MaxRateChangeOutputs(samples.size(), format.sample_rate, target_rate)));
  for (size_t j = 0; j < samples.size(); ++j) {
    for (int copies = changer.Next(); copies > 0; --copies) out.push_back(samples[j]);
  }
  samples.swap(out);
  format.frame_count = static_cast<int64_t>(samples.size());
}

bool ChangeEncoding(SoundFormat& format, std::vector<int32_t>& samples, const std::string& target,
                    UserInterface& ui) {
  if (target == format.encoding_name) return true;
  if (target == kMuLawEncoding && format.encoding_name == kPcmEncoding) {
    for (int32_t& s : samples) s = EncodeMuLaw(s);
    format.encoding_name = kMuLawEncoding;
    return true;
  }
  ui.Tell(BoxStyle::kSystemModal, UnimplementedEncodingMessage());
  return false;
}

}  // namespace sonavelt::audio
