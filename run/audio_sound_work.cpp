#include "run/audio_sound_work.h"

#include "audio/conversion_progress.h"
#include "audio/sound_checks.h"
#include "audio/sound_messages.h"
#include "audio/sound_names.h"
#include "audio/wave_converter.h"
#include "base/file_io.h"
#include "run/choice_rules.h"

namespace sonavelt::run {

bool AudioSoundWork::FileExists(const std::string& path) { return file_io::IsReadableFile(path); }

bool AudioSoundWork::HasSoundExtension(const std::string& path) {
  return audio::HasSoundExtension(path);
}

Status AudioSoundWork::MissingFile(const std::string& path) {
  return audio::MissingFile(path, "audio");
}

Status AudioSoundWork::UnsupportedFile(const std::string& path) {
  return audio::UnsupportedFile(path);
}

SoundCheck AudioSoundWork::CheckSoundFile(const std::string& path, FormatAnswers& answers) {
  if (Status safe = CheckListSafePath(path, "audio"); !safe.ok()) return {std::move(safe)};
  // From a largest frame count of 0, the check raises it to this sound's own.
  audio::WaveCheckState check{/*preparing_run=*/true, /*max_wave_frames=*/0,
                              answers.more_sounds_waiting, answers.for_all};
  SoundCheck checked{audio::CheckSoundFile(path, check, questions_), check.max_wave_frames};
  answers.for_all = check.answer_for_all;
  return checked;
}

Status AudioSoundWork::CheckNotEmpty(const std::string& path, uint64_t* length) {
  int64_t bytes = 0;
  Status checked = audio::CheckNotEmpty(path, &bytes);
  *length = bytes > 0 ? static_cast<uint64_t>(bytes) : 0;
  return checked;
}

Status AudioSoundWork::PlaceSound(const std::string& path, const std::string& target,
                                  const StopRequest& stop,
                                  const std::function<void(int percent)>& progress,
                                  audio::DecodedSoundSink* decoded) {
  // The contents decide: an .au the player takes as it is is copied byte
  // for byte, any other sound converted.
  if (!file_io::IsReadableFile(path)) return audio::MissingFile(path, "audio");
  audio::ConversionControl control;
  control.cancel_requested = stop.flag();
  control.report_progress = progress;
  control.decoded = decoded;
  return audio::ConvertWaveFile(path, target, control).status;
}

}  // namespace sonavelt::run
