#pragma once

#include "base/user_interface.h"
#include "run/sound_work.h"

namespace sonavelt::run {

// The run's sound work done by the audio library: its checks and
// conversions. `ui` is asked the format question of a check and told the
// messages of a conversion.
class AudioSoundWork : public SoundWork {
 public:
  explicit AudioSoundWork(UserInterface& ui) : ui_(ui) {}

  bool FileExists(const std::string& path) override;
  bool HasSoundExtension(const std::string& path) override;
  Status MissingFile(const std::string& path) override;
  Status UnsupportedFile(const std::string& path) override;
  // Also refuses a path holding ";" (ListSeparatorMessage): it could not be
  // stored with the run's choices. The format question goes to the ui.
  Status CheckSoundFile(const std::string& path, RunState& state) override;
  Status CheckNotEmpty(const std::string& path, uint64_t* length) override;
  bool PlaceSound(const std::string& path, const std::string& target, RunState& state,
                  const std::function<void(int percent)>& progress) override;

 private:
  UserInterface& ui_;
};

}  // namespace sonavelt::run
