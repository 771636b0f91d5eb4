#include "app/sound_preview.h"

namespace sonavelt::app {

bool PlaySelectedSound(const std::string& path, run::SoundPreviews& previews, UserInterface& ui,
                       SoundOutput& output, const std::function<void(bool)>& show_wait) {
  std::string to_play;
  const Status playable = previews.PlayableFile(path, ui, show_wait, &to_play);
  Show(ui, playable);
  if (!playable.ok()) return false;
  if (!output.PlayAndWait(to_play)) {
    ui.Tell(BoxStyle::kPlain, kCannotPlayMessage);
    return false;
  }
  return true;
}

}  // namespace sonavelt::app
