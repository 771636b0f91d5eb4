#include "app/sound_preview.h"

#include "audio/sound_checks.h"
#include "audio/sound_decoder.h"
#include "audio/sun_au_reader.h"
#include "audio/wave_reader.h"
#include "base/file_io.h"
#include "base/text.h"

namespace sonavelt::app {

bool PlaySelectedSound(const std::string& path, audio::AuCache& cache, UserInterface& ui,
                       SoundOutput& output, const std::function<void(bool)>& show_wait) {
  if (!file_io::IsReadableFile(path)) {
    Show(ui, audio::MissingFile(path, "audio"));
    return false;
  }
  std::string to_play;
  // ".au" is tested first: a path such as "music.audio/x.wav" is taken for
  // an .au file and refused by the .au header check.
  if (audio::NeedsDecoder(path)) {
    // Other formats are played as they are, after the decoder's check.
    audio::WaveCheckState state;  // not preparing a run: no format question
    Status checked = audio::CheckDecodedSound(path, ui, state);
    Show(ui, checked);
    if (!checked.ok()) return false;
    to_play = path;
  } else if (IsAuPath(path)) {
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
  } else if (IsWavePath(path)) {
    audio::WaveCheckState state;  // not preparing a run: no format question
    Status checked = audio::CheckWaveFile(path, ui, state);
    Show(ui, checked);
    if (!checked.ok()) return false;
    to_play = path;
  } else {
    Show(ui, audio::UnsupportedFile(path));
    return false;
  }
  if (!output.PlayAndWait(to_play)) {
    ui.Tell(BoxStyle::kPlain, kCannotPlayMessage);
    return false;
  }
  return true;
}

}  // namespace sonavelt::app
