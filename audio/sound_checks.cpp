#include "audio/sound_checks.h"

#include "audio/posix_file.h"
#include "audio/sound_decoder.h"
#include "audio/sound_messages.h"
#include "audio/sun_au_reader.h"
#include "base/file_io.h"
#include "base/text.h"

namespace sonavelt::audio {

Status MissingFile(const std::string& path, const std::string& kind) {
  const std::string what = file_io::SpecialFileKindOf(path);
  return Status::NotFound(what.empty() ? MissingFileMessage(path, kind)
                                       : NotAFileMessage(path, what, kind));
}

bool HasSoundExtension(const std::string& path) {
  return IsWavePath(path) || IsAuPath(path) || IsDecodedSoundPath(path);
}

Status UnsupportedFile(const std::string& path) {
  return Status::InvalidArgument(UnsupportedFileMessage(path));
}

Status CheckSoundFile(const std::string& path, WaveCheckState& state, Questions& questions) {
  // A decoded-format name is tested first: its ending decides, whatever
  // ".au" the folders before it hold.
  if (NeedsDecoder(path)) return CheckDecodedSound(path, questions, state);
  if (IsWavePath(path)) return CheckWaveFile(path, questions, state);
  if (IsAuPath(path)) return CheckSunAuFile(path);
  return UnsupportedFile(path);
}

Status CheckNotEmpty(const std::string& path, int64_t* length) {
  *length = 0;
  int error = 0;
  std::optional<InputFile> file = InputFile::Open(path, &error);
  if (!file) return Status::IoError(CannotOpenMessage(path, file_io::ErrorText(error)));
  if (file->size() == 0) return Status::InvalidArgument(EmptyFileMessage(path));
  *length = static_cast<int64_t>(file->size());
  return Status::Ok();
}

}  // namespace sonavelt::audio
