#include <string>

#include "audio/conversion_progress.h"
#include "audio/posix_file.h"
#include "audio/sun_au_reader.h"
#include "audio/wave_converter.h"
#include "audio/wave_reader.h"
#include "base/byte_order.h"
#include "tests/fuzz/fuzz_entries.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/reference_audio.h"

namespace sonavelt::fuzz {

using audio::ConversionOutcome;

namespace {

// True when the .au file at `path` holds a byte past its header.
bool HasAuData(const std::string& path) {
  std::optional<audio::InputFile> file = audio::InputFile::OpenIfReadable(path);
  uint8_t offset[4] = {};
  if (!file || file->ReadAt(offset, 4, 4) != 4) return false;
  return file->size() > LoadBe32(offset);
}

}  // namespace

int FuzzWaveReader(const uint8_t* data, size_t size) {
  std::string path = WriteScratchFile("input.wav", data, size);

  SilentUserInterface check_ui;
  audio::WaveCheckState state;
  state.preparing_run = true;
  audio::SoundFormat format;
  Status check = audio::CheckWaveFile(path, check_ui, state, &format);
  Show(check_ui, check);
  bool checked = check.ok();
  SONAVELT_FUZZ_CHECK(checked == (check_ui.tells() == 0), "a refusal without its one message");
  SONAVELT_FUZZ_CHECK(checked || !check.message().empty(), "a refusal without its words");
  if (checked) {
    SONAVELT_FUZZ_CHECK(format.channel_count == 1 || format.channel_count == 2, "channels");
    SONAVELT_FUZZ_CHECK(format.bits_per_sample == 8 || format.bits_per_sample == 16, "bits");
    SONAVELT_FUZZ_CHECK(format.sample_rate > 0, "a rate of zero or less passed");
    SONAVELT_FUZZ_CHECK(format.frame_count >= 0, "negative frame count");
    // Every frame lies inside the file.
    uint64_t block = static_cast<uint64_t>(format.channel_count * format.bits_per_sample / 8);
    SONAVELT_FUZZ_CHECK(static_cast<uint64_t>(format.frame_count) * block <= size,
                        "more frames than the file holds");
    SONAVELT_FUZZ_CHECK(state.max_wave_frames == format.frame_count, "max_wave_frames");
  }

  SilentUserInterface decode_ui;
  std::optional<testing::DecodedWave> decoded = testing::ReadWaveSamples(path, decode_ui);
  SONAVELT_FUZZ_CHECK(decoded.has_value() == checked, "the check and the decoder disagree");
  if (decoded) {
    SONAVELT_FUZZ_CHECK(static_cast<int64_t>(decoded->samples.size()) == format.frame_count,
                        "one sample per frame");
    for (int32_t s : decoded->samples)
      SONAVELT_FUZZ_CHECK(s >= -32768 && s <= 32767, "a sample outside the 16-bit range");
  }

  // Sounds far below the player's rate are repeated up to 8000 Hz; keep the
  // output of one input within a few megabytes so the fuzzer stays fast.
  if (checked && format.sample_rate < 8000 &&
      static_cast<uint64_t>(format.frame_count) * (8000 / format.sample_rate + 1) > (4u << 20)) {
    return 0;
  }
  std::string au_path = ScratchFolder() + "/output.au";
  ConversionOutcome outcome = audio::ConvertWaveFile(path, au_path, {}).outcome;
  SONAVELT_FUZZ_CHECK((outcome == ConversionOutcome::kConverted) == checked,
                      "the check and the converter disagree");
  // What the converter writes, the .au reader accepts. A sound too short to
  // leave one sample at 8000 Hz makes an .au file without data, which that
  // reader refuses by rule.
  if (outcome == ConversionOutcome::kConverted && HasAuData(au_path)) {
    SONAVELT_FUZZ_CHECK(audio::CheckSunAuFile(au_path).ok(), "a converted file is refused");
  }
  return 0;
}

int FuzzAuReader(const uint8_t* data, size_t size) {
  std::string path = WriteScratchFile("input.au", data, size);
  SilentUserInterface ui;
  audio::SunAuReader reader;
  Status check = reader.Check(path);
  Show(ui, check);
  bool checked = check.ok();
  SONAVELT_FUZZ_CHECK(checked == (ui.tells() == 0), "a refusal without its one message");
  if (!checked) return 0;
  SONAVELT_FUZZ_CHECK(reader.data_offset() >= 24 && reader.data_offset() <= size,
                      "data offset outside the file");
  SONAVELT_FUZZ_CHECK(reader.sample_rate() > 0 && reader.channel_count() > 0, "rate or channels");

  std::string wav_path = ScratchFolder() + "/preview.wav";
  const Status written = reader.WriteAuAsWave(wav_path);
  if (written.ok()) {
    // The preview copy is a WAVE file our own reader takes.
    SilentUserInterface wave_ui;
    audio::WaveCheckState state;
    audio::SoundFormat format;
    bool wave_ok = audio::CheckWaveFile(wav_path, wave_ui, state, &format).ok();
    // Channel counts and rates the WAVE reader refuses (more than 2 channels,
    // absurd rates) are copied as they are.
    const int64_t rate = reader.sample_rate();
    if (reader.channel_count() <= 2 && rate >= audio::kMinWaveRate && rate <= audio::kMaxWaveRate) {
      SONAVELT_FUZZ_CHECK(wave_ok, "the preview copy is refused by the WAVE reader");
      SONAVELT_FUZZ_CHECK(format.bits_per_sample == 8, "preview copies are 8-bit");
    }
  } else {
    SONAVELT_FUZZ_CHECK(!written.message().empty(), "a failed preview copy without a reason");
  }
  return 0;
}

}  // namespace sonavelt::fuzz
