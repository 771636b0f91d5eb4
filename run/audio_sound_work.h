#pragma once

#include "base/user_interface.h"
#include "run/sound_work.h"

namespace sonavelt::run {

// The run's sound work done by the audio library: its checks and
// conversions. `questions` is asked the format question of a check.
class AudioSoundWork : public SoundWork {
 public:
  explicit AudioSoundWork(Questions& questions) : questions_(questions) {}

  bool FileExists(const std::string& path) override;
  bool HasSoundExtension(const std::string& path) override;
  Status MissingFile(const std::string& path) override;
  Status UnsupportedFile(const std::string& path) override;
  // Also refuses a path holding ";" (ListSeparatorMessage): it could not be
  // stored with the run's choices. The format question goes to questions.
  SoundCheck CheckSoundFile(const std::string& path, FormatAnswers& answers) override;
  Status CheckNotEmpty(const std::string& path, uint64_t* length) override;
  Status PlaceSound(const std::string& path, const std::string& target, const StopRequest& stop,
                    const std::function<void(int percent)>& progress,
                    audio::DecodedSoundSink* decoded = nullptr) override;

 private:
  Questions& questions_;
};

}  // namespace sonavelt::run
