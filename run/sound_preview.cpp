#include "run/sound_preview.h"

#include <utility>

#include "audio/au_cache.h"
#include "audio/sound_kind.h"
#include "audio/sun_au_reader.h"
#include "run/sound_files.h"

namespace sonavelt::run {

SoundPreviews::SoundPreviews(std::string cache_folder)
    : cache_(std::make_unique<audio::AuCache>(std::move(cache_folder))) {}

SoundPreviews::~SoundPreviews() = default;

Status SoundPreviews::PlayableFile(const std::string& path, Questions& questions,
                                   const std::function<void(bool)>& show_wait,
                                   std::string* playable) {
  if (Status named = CheckSoundPath(path); !named.ok()) return named;
  // The same check a run makes; the contents decide how the file is read.
  if (Status checked = CheckSoundContents(path, questions); !checked.ok()) return checked;
  *playable = path;
  if (!audio::HoldsSunAu(path)) return Status::Ok();
  if (cache_->HasCurrentPreview(path)) {
    *playable = cache_->PreviewPathFor(path);
    return Status::Ok();
  }
  if (show_wait) show_wait(true);
  audio::AuPreviewCopy copy(path, *cache_);
  if (show_wait) show_wait(false);
  if (!copy.success()) return copy.status();
  *playable = copy.wav_path();
  return copy.status();
}

}  // namespace sonavelt::run
