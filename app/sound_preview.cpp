#include "app/sound_preview.h"

#include "audio/sound_checks.h"
#include "audio/sound_kind.h"
#include "audio/sun_au_reader.h"
#include "base/file_io.h"
#include "base/text.h"

namespace sonavelt::app {

bool PlaySelectedSound(const std::string& path, audio::AuCache& cache, UserInterface& ui,
                       SoundOutput& output, const std::function<void(bool)>& show_wait) {
  if (!file_io::IsReadableFile(path)) {
    Show(ui, audio::MissingFile(path, "audio"));
    return false;
  }
  if (!audio::HasSoundExtension(path)) {
    Show(ui, audio::UnsupportedFile(path));
    return false;
  }
  // The same check a run makes, without the format question; the contents
  // decide how the file is read.
  audio::WaveCheckState state;
  Status checked = audio::CheckSoundFile(path, state, ui);
  Show(ui, checked);
  if (!checked.ok()) return false;
  std::string to_play = path;
  // The sound player has no .au reader: an .au sound plays from a WAVE copy.
  if (audio::HoldsSunAu(path)) {
    if (cache.HasCurrentPreview(path)) {
      to_play = cache.PreviewPathFor(path);
    } else {
      if (show_wait) show_wait(true);
      audio::AuPreviewCopy copy(path, cache);
      if (show_wait) show_wait(false);
      Show(ui, copy.status());
      if (!copy.success()) return false;
      to_play = copy.wav_path();
    }
  }
  if (!output.PlayAndWait(to_play)) {
    ui.Tell(BoxStyle::kPlain, kCannotPlayMessage);
    return false;
  }
  return true;
}

}  // namespace sonavelt::app
