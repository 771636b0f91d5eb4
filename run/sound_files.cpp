#include "run/sound_files.h"

#include "audio/posix_file.h"
#include "audio/sound_checks.h"
#include "audio/sound_names.h"
#include "audio/wave_converter.h"
#include "base/file_io.h"

namespace sonavelt::run {

Status CheckSoundReadable(const std::string& path) {
  if (!file_io::IsReadableFile(path)) return audio::MissingFile(path, "audio");
  return Status::Ok();
}

Status CheckSoundName(const std::string& path) {
  if (!audio::HasSoundExtension(path)) return audio::UnsupportedFile(path);
  return Status::Ok();
}

Status CheckSoundPath(const std::string& path) {
  if (Status readable = CheckSoundReadable(path); !readable.ok()) return readable;
  return CheckSoundName(path);
}

Status CheckSoundContents(const std::string& path, Questions& questions) {
  audio::WaveCheckState state;
  return audio::CheckSoundFile(path, state, questions);
}

std::string ConvertedNameOf(const std::string& path) { return audio::ConvertedNameOf(path); }

bool IsSameFile(const std::string& a, const std::string& b) { return audio::SameFile(a, b); }

Status ConvertSound(const std::string& sound, const std::string& out,
                    const std::atomic<bool>* cancel) {
  audio::ConversionControl control;
  control.cancel_requested = cancel;
  audio::ConversionResult result = audio::ConvertWaveFile(sound, out, control);
  if (result.outcome == audio::ConversionOutcome::kCancelled) return Status::Cancelled();
  return std::move(result.status);
}

}  // namespace sonavelt::run
