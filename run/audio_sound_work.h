#pragma once

#include "audio/au_cache.h"
#include "base/user_interface.h"
#include "run/sound_work.h"

namespace sonavelt::run {

// The run's sound work done by the audio library: its checks and messages,
// and conversions kept in `cache` (which lives as long as the program's
// session, so a sound converted by one run is reused by the next).
class AudioSoundWork : public SoundWork {
 public:
  AudioSoundWork(audio::AuCache& cache, UserInterface& ui) : cache_(cache), ui_(ui) {}

  bool FileExists(const std::string& path) override;
  bool HasSoundExtension(const std::string& path) override;
  void ReportMissing(const std::string& path) override;
  void ReportUnsupported(const std::string& path) override;
  bool CheckSoundFile(const std::string& path, RunState& state) override;
  uint64_t CheckNotEmpty(const std::string& path) override;
  std::string ConvertIfWav(const std::string& path, RunState& state,
                           const std::function<void(int percent)>& progress) override;

 private:
  audio::AuCache& cache_;
  UserInterface& ui_;
};

}  // namespace sonavelt::run
