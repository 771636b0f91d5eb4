#include "run/audio_sound_work.h"

#include "audio/conversion_progress.h"
#include "audio/sound_checks.h"
#include "audio/wave_converter.h"
#include "audio/wave_reader.h"

namespace sonavelt::run {

bool AudioSoundWork::FileExists(const std::string& path) { return audio::FileExists(path); }

bool AudioSoundWork::HasSoundExtension(const std::string& path) {
  return audio::HasSoundExtension(path);
}

void AudioSoundWork::ReportMissing(const std::string& path) {
  audio::ReportMissing(path, "audio", ui_);
}

void AudioSoundWork::ReportUnsupported(const std::string& path) {
  audio::ReportUnsupported(path, ui_);
}

bool AudioSoundWork::CheckSoundFile(const std::string& path, RunState& state) {
  audio::WaveCheckState check{state.preparing_run, state.max_wave_frames};
  bool ok = audio::CheckSoundFile(path, cache_, check, ui_);
  state.max_wave_frames = check.max_wave_frames;
  return ok;
}

uint64_t AudioSoundWork::CheckNotEmpty(const std::string& path) {
  int64_t length = audio::CheckNotEmpty(path, ui_);
  return length > 0 ? static_cast<uint64_t>(length) : 0;
}

std::string AudioSoundWork::ConvertIfWav(const std::string& path, RunState& state,
                                         const std::function<void(int percent)>& progress) {
  audio::ConversionControl control;
  control.cancel_requested = &state.cancel_requested;
  control.report_progress = progress;
  return audio::ConvertIfWav(path, cache_, ui_, control);
}

}  // namespace sonavelt::run
