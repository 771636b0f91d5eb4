#include "audio/sound_checks.h"

#include "audio/posix_file.h"
#include "audio/sound_decoder.h"
#include "audio/sound_kind.h"
#include "audio/sound_messages.h"
#include "audio/sun_au_reader.h"
#include "base/file_io.h"
#include "base/text.h"

#include <algorithm>
#include <climits>

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

namespace {

// A Sun .au file: its header, then whether its data is all there; one that
// is not already 8000 Hz mono will be converted, so it gets the format
// question as a WAVE file would.
Status CheckSunAuSound(const std::string& path, const InputFile& file, Questions& questions,
                       WaveCheckState& state) {
  SunAuReader reader;
  if (Status checked = reader.Check(path); !checked.ok()) return checked;
  if (IsCutShort(file, SoundKind::kSunAu))
    return Status::Corrupt(CutShortMessage(DescribedPath(path, SoundKind::kSunAu),
                                           KindName(SoundKind::kSunAu), MessageForm::kCheck));
  SoundFormat format;
  format.encoding_name = kMuLawEncoding;
  format.bits_per_sample = 8;
  format.sample_rate = static_cast<int>(std::min<uint32_t>(reader.sample_rate(), INT32_MAX));
  format.channel_count = static_cast<int>(std::min<uint32_t>(reader.channel_count(), INT32_MAX));
  format.frame_count = static_cast<int64_t>((file.size() - reader.data_offset()) /
                                            std::max<uint32_t>(reader.channel_count(), 1));
  if (state.preparing_run && !IsPlayerReadyAu(reader) &&
      !AskFormatChange(DescribedPath(path, SoundKind::kSunAu), format, questions, state))
    return Status::Cancelled();
  if (format.frame_count > state.max_wave_frames) state.max_wave_frames = format.frame_count;
  return Status::Ok();
}

}  // namespace

Status CheckSoundFile(const std::string& path, WaveCheckState& state, Questions& questions) {
  if (!HasSoundExtension(path)) return UnsupportedFile(path);
  std::optional<InputFile> file;
  if (Status opened = InputFile::Open(path, &file); !opened.ok())
    return Status::IoError(CannotOpenMessage(path, opened.message()));
  switch (SniffSoundKind(*file)) {
    case SoundKind::kWave: {
      // A WAVE the WAVE reader refuses for its encoding or sample width may
      // still be one libsndfile decodes (ADPCM, floating point, 24 bits);
      // when it is not, the WAVE reader's own words stand.
      const WaveParseResult parsed = ParseWaveLayout(*file, {});
      if (parsed.fault && (*parsed.fault == WaveFault::kUnidentifiedEncoding ||
                           *parsed.fault == WaveFault::kSampleWidth)) {
        return CheckDecodedSound(
            path, questions, state,
            WaveFaultMessage(DescribedPath(path, SoundKind::kWave), *parsed.fault, parsed.detail,
                             MessageForm::kCheck));
      }
      return CheckWaveFile(path, questions, state);
    }
    case SoundKind::kSunAu:
      return CheckSunAuSound(path, *file, questions, state);
    case SoundKind::kUnknown:
      // Nothing reads it: the message of the kind its name promises (a
      // decoded format's ending is tested first, then ".wav", then ".au").
      if (IsDecodedSoundPath(path)) return CheckDecodedSound(path, questions, state);
      if (IsWavePath(path)) return CheckWaveFile(path, questions, state);
      if (IsAuPath(path)) return CheckSunAuFile(path);
      return UnsupportedFile(path);
    default:
      return CheckDecodedSound(path, questions, state);
  }
}

Status CheckNotEmpty(const std::string& path, int64_t* length) {
  *length = 0;
  std::optional<InputFile> file;
  if (Status opened = InputFile::Open(path, &file); !opened.ok())
    return Status::IoError(CannotOpenMessage(path, opened.message()));
  if (file->size() == 0) return Status::InvalidArgument(EmptyFileMessage(path));
  *length = static_cast<int64_t>(file->size());
  return Status::Ok();
}

}  // namespace sonavelt::audio
