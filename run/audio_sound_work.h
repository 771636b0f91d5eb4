#pragma once

#include "base/user_interface.h"
#include "run/sound_work.h"

namespace sonavelt::run {

// The run's sound work done by the audio library: its checks, messages and
// conversions.
class AudioSoundWork : public SoundWork {
 public:
  explicit AudioSoundWork(UserInterface& ui) : ui_(ui) {}

  bool FileExists(const std::string& path) override;
  bool HasSoundExtension(const std::string& path) override;
  void ReportMissing(const std::string& path) override;
  void ReportUnsupported(const std::string& path) override;
  // Also refuses a path holding ";" (ListSeparatorMessage): it could not be
  // stored with the run's choices.
  bool CheckSoundFile(const std::string& path, RunState& state) override;
  uint64_t CheckNotEmpty(const std::string& path) override;
  bool PlaceSound(const std::string& path, const std::string& target, RunState& state,
                  const std::function<void(int percent)>& progress) override;

 private:
  UserInterface& ui_;
};

}  // namespace sonavelt::run
