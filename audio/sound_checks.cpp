#include "audio/sound_checks.h"

#include "audio/posix_file.h"
#include "audio/sound_decoder.h"
#include "audio/sound_messages.h"
#include "audio/sun_au_reader.h"
#include "base/file_io.h"
#include "base/text.h"

namespace sonavelt::audio {

bool FileExists(const std::string& path) { return file_io::IsReadableFile(path); }

void ReportMissing(const std::string& path, const std::string& kind, UserInterface& ui) {
  const std::string what = SpecialFileKindOf(path);
  ui.Tell(BoxStyle::kSystemModal,
          what.empty() ? MissingFileMessage(path, kind) : NotAFileMessage(path, what, kind));
}

bool HasSoundExtension(const std::string& path) {
  return IsWavePath(path) || IsAuPath(path) || IsDecodedSoundPath(path);
}

void ReportUnsupported(const std::string& path, UserInterface& ui) {
  ui.Tell(BoxStyle::kSystemModal, UnsupportedFileMessage(path));
}

bool CheckSoundFile(const std::string& path, WaveCheckState& state, UserInterface& ui) {
  // A decoded-format name is tested first: its ending decides, whatever
  // ".au" the folders before it hold.
  if (NeedsDecoder(path)) return CheckDecodedSound(path, ui, state);
  if (IsWavePath(path)) return CheckWaveFile(path, ui, state);
  if (IsAuPath(path)) return CheckSunAuFile(path, ui);
  ReportUnsupported(path, ui);
  return false;
}

int64_t CheckNotEmpty(const std::string& path, UserInterface& ui) {
  int error = 0;
  std::optional<InputFile> file = InputFile::Open(path, &error);
  if (!file) {
    ui.Tell(BoxStyle::kSystemModal, CannotOpenMessage(path, ErrorText(error)));
    return 0;
  }
  if (file->size() == 0) {
    ui.Tell(BoxStyle::kSystemModal, EmptyFileMessage(path));
    return 0;
  }
  return static_cast<int64_t>(file->size());
}

}  // namespace sonavelt::audio
