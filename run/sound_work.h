#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "audio/conversion_progress.h"
#include "base/status.h"
#include "run/stop_request.h"

// The sound work a run asks of the audio library: the checks of a chosen
// sound and its conversion into the player's .au format. An interface so
// that the run can be driven in tests with sounds that fail on purpose.
namespace sonavelt::run {

// The format question across the checks of one run's sounds. The preparing
// phase owns one for the run and sets more_sounds_waiting before each check;
// the check records an answer given to all.
struct FormatAnswers {
  // Sounds are still to be checked after this one: the question offers
  // "Yes to All" and "No to All".
  bool more_sounds_waiting = false;
  // "Yes to All" (true) or "No to All" (false), once given: later checks
  // take it without asking.
  std::optional<bool> for_all;
};

// What a sound's check found: the fault's message, or Status::Cancelled
// when the user declined the format change; on success the sound's length
// in sample frames, which sizes the conversion's working room.
struct SoundCheck {
  Status status;
  int64_t frames = 0;
};

class SoundWork {
 public:
  virtual ~SoundWork() = default;

  // True when `path` names a file that can be opened for reading.
  virtual bool FileExists(const std::string& path) = 0;
  // True when the path's name is one of a sound (audio::HasSoundExtension).
  virtual bool HasSoundExtension(const std::string& path) = 0;
  // The message that the sound was not found / is of a kind not handled.
  virtual Status MissingFile(const std::string& path) = 0;
  virtual Status UnsupportedFile(const std::string& path) = 0;
  // The format check a run makes of a sound it prepares, as the sound's
  // contents say (a WAVE, an .au or another format): a format the player
  // cannot take as it is is asked about first (answers says how). A sound
  // played from a page is checked without the question (CheckSoundContents).
  virtual SoundCheck CheckSoundFile(const std::string& path, FormatAnswers& answers) = 0;
  // The file's length in bytes into *length; the message when it is empty
  // or cannot be opened.
  virtual Status CheckNotEmpty(const std::string& path, uint64_t* length) = 0;
  // Makes `target` (a new name in the run's work folder) hold the .au file
  // the page will use for the sound: an .au that is already 8000 Hz mono
  // mu-law copied as it is, any other sound converted. `progress` is told the percentage of a conversion done;
  // `decoded`, when set, every frame the conversion decodes.
  // The fault's message (in its box), or Status::Cancelled when `stop` was
  // requested; no file is left at `target` then.
  virtual Status PlaceSound(const std::string& path, const std::string& target,
                            const StopRequest& stop,
                            const std::function<void(int percent)>& progress,
                            audio::DecodedSoundSink* decoded = nullptr) = 0;
};

}  // namespace sonavelt::run
