#include "audio/wave_converter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/au_writer.h"
#include "audio/mulaw.h"
#include "audio/rate_change.h"
#include "audio/sound_decoder.h"
#include "audio/sound_kind.h"
#include "audio/sound_messages.h"
#include "audio/sun_au_reader.h"
#include "audio/wave_reader.h"
#include "base/file_io.h"
#include "base/text.h"

namespace sonavelt::audio {

namespace {

const char kTooLong[] = "the sound is too long for an .au file";

// The fused decode, rate change and encoding of one piece of frames, one
// loop per sample layout and rate relation so the inner loop has no
// switches. The accumulator lives in a local across the loop: its serial
// dependency is the loop's real cost. Answers the codes written to out.
enum class RateMode { kSame, kDrop, kRepeat };

template <int kBits, int kChannels, RateMode kMode>
size_t EncodePiece(const uint8_t* frames, size_t count, RateChanger& changer, uint8_t* out) {
  constexpr size_t kBlock = kChannels * kBits / 8;
  uint8_t* const start = out;
  if constexpr (kMode == RateMode::kSame) {
    for (size_t j = 0; j < count; ++j) *out++ = EncodeMuLaw(FirstChannelSample<kBits>(frames + j * kBlock));
  } else {
    double acc = changer.acc();
    const double step_in = changer.step_in();
    const double step_out = changer.step_out();
    for (size_t j = 0; j < count; ++j) {
      acc += step_in;
      if constexpr (kMode == RateMode::kDrop) {
        // From a higher rate at most one output per input.
        if (acc > step_out) {
          *out++ = EncodeMuLaw(FirstChannelSample<kBits>(frames + j * kBlock));
          acc -= step_out;
        }
      } else {
        if (acc > step_out) {
          const uint8_t code = EncodeMuLaw(FirstChannelSample<kBits>(frames + j * kBlock));
          do {
            *out++ = code;
            acc -= step_out;
          } while (acc > step_out);
        }
      }
    }
    changer.set_acc(acc);
  }
  return static_cast<size_t>(out - start);
}

template <int kBits, int kChannels>
size_t EncodeByMode(RateMode mode, const uint8_t* frames, size_t count, RateChanger& changer,
                    uint8_t* out) {
  switch (mode) {
    case RateMode::kSame:
      return EncodePiece<kBits, kChannels, RateMode::kSame>(frames, count, changer, out);
    case RateMode::kDrop:
      return EncodePiece<kBits, kChannels, RateMode::kDrop>(frames, count, changer, out);
    case RateMode::kRepeat:
      return EncodePiece<kBits, kChannels, RateMode::kRepeat>(frames, count, changer, out);
  }
  return 0;
}

size_t EncodeFrames(const SoundFormat& format, RateMode mode, const uint8_t* frames, size_t count,
                    RateChanger& changer, uint8_t* out) {
  const bool stereo = format.channel_count == 2;
  if (format.bits_per_sample == 8) {
    return stereo ? EncodeByMode<8, 2>(mode, frames, count, changer, out)
                  : EncodeByMode<8, 1>(mode, frames, count, changer, out);
  }
  return stereo ? EncodeByMode<16, 2>(mode, frames, count, changer, out)
                : EncodeByMode<16, 1>(mode, frames, count, changer, out);
}

// Hands a piece of WAVE frames to the decoded-sound sink as floats, each
// channel's samples scaled as libsndfile scales them, so that a sound reads
// the same whichever reader decoded it.
void FeedDecoded(const SoundFormat& format, const uint8_t* frames, size_t count,
                 DecodedSoundSink& sink, std::vector<float>& floats) {
  const size_t values = count * static_cast<size_t>(format.channel_count);
  floats.resize(values);
  if (format.bits_per_sample == 8) {
    for (size_t i = 0; i < values; ++i)
      floats[i] = static_cast<float>(static_cast<int>(frames[i]) - 128) * (1.0f / 128.0f);
  } else {
    for (size_t i = 0; i < values; ++i)
      floats[i] = static_cast<float>(static_cast<int16_t>(
                      static_cast<uint16_t>(frames[2 * i] | (frames[2 * i + 1] << 8)))) *
                  (1.0f / 32768.0f);
  }
  sink.Frames(floats.data(), static_cast<int64_t>(count));
}

// Output bytes gathered before a write: big enough that the writes cost
// nothing next to the decoding, small enough not to matter for memory.
constexpr size_t kOutputBytes = 1 << 20;
// Up to this many input frames the output count is found exactly by running
// the rate change's accumulator alone (a few milliseconds); longer sounds use
// the rate ratio, which is off by at most a few codes.
constexpr uint64_t kExactCountFrames = uint64_t{1} << 22;

// The number of codes the progress marks are placed on.
uint64_t ExpectedOutputs(uint64_t frames, int rate) {
  if (rate == kAuSampleRate) return frames;
  if (frames <= kExactCountFrames) {
    RateChanger changer(rate, kAuSampleRate);
    uint64_t count = 0;
    for (uint64_t i = 0; i < frames; ++i) count += static_cast<uint64_t>(changer.Next());
    return count;
  }
  return frames * static_cast<uint64_t>(kAuSampleRate) / static_cast<uint64_t>(rate);
}

// The tenth marks (count x k) / 10, k = 1 to 9, of the output: each one
// passed is reported once, as (100 x mark) / count, after a cancel check.
class TenthMarks {
 public:
  TenthMarks(uint64_t count, const ConversionControl& control) : count_(count), control_(control) {}

  // Reports the marks up to `written` codes; false when cancelled.
  bool Pass(uint64_t written) {
    for (; k_ <= 9 && count_ > 0; ++k_) {
      const uint64_t mark = (count_ * k_) / 10;
      if (any_ && mark == last_) continue;
      if (mark > written) break;
      any_ = true;
      last_ = mark;
      if (control_.cancelled()) return false;
      if (control_.report_progress)
        control_.report_progress(static_cast<int>((100 * mark) / count_));
    }
    return true;
  }
  // The marks not reached because the count was estimated high.
  bool PassAll() { return Pass(UINT64_MAX); }

 private:
  const uint64_t count_;
  const ConversionControl& control_;
  uint64_t k_ = 1;
  bool any_ = false;
  uint64_t last_ = 0;
};

ConversionResult Convert(const std::string& wave_path, const std::string& au_path,
                         const ConversionControl& control) {
  const ConversionResult cancelled_result{ConversionOutcome::kCancelled, Status::Cancelled()};
  std::optional<OpenedWave> wave;
  if (Status opened = OpenWaveForDecoding(wave_path, &wave); !opened.ok())
    return {ConversionOutcome::kRefused, opened};
  const SoundFormat& format = wave->layout.format;
  const uint64_t frames = static_cast<uint64_t>(format.frame_count);

  const RateMode mode = format.sample_rate == kAuSampleRate ? RateMode::kSame
                        : format.sample_rate > kAuSampleRate ? RateMode::kDrop
                                                             : RateMode::kRepeat;
  RateChanger changer(format.sample_rate, kAuSampleRate);
  // The .au data size is a 32-bit field; a long sound from a low rate could
  // pass it.
  if (MaxRateChangeOutputs(frames, format.sample_rate, kAuSampleRate) > UINT32_MAX) {
    return {ConversionOutcome::kWriteFailed,
            Status::IoError(CannotWriteMessage(au_path, kTooLong))};
  }

  auto failed = [&](const Status& status) {
    return ConversionResult{ConversionOutcome::kWriteFailed,
                            Status::IoError(CannotWriteMessage(au_path, status.message()))};
  };
  // The codes go to the file as they are made, so memory stays the same
  // whatever the length of the sound. The header's data size is filled in
  // when the count is known.
  file_io::AtomicFileWriter writer;
  Status status = writer.Open(au_path);
  if (!status.ok()) return failed(status);
  const auto blank_header = SunAuHeader(0);
  status = writer.Write(blank_header.data(), blank_header.size());
  if (!status.ok()) return failed(status);

  TenthMarks marks(ExpectedOutputs(frames, format.sample_rate), control);
  if (!marks.Pass(0)) return cancelled_result;
  // Room for the most codes one piece of input can give.
  const uint64_t piece_frames = WaveStreamBytes() / static_cast<uint64_t>(wave->layout.block_size);
  const size_t piece_bound = static_cast<size_t>(
      MaxRateChangeOutputs(piece_frames, format.sample_rate, kAuSampleRate, 2));
  const size_t capacity = std::max(kOutputBytes, piece_bound);
  std::unique_ptr<uint8_t[]> out(new uint8_t[capacity]);
  size_t held = 0;
  uint64_t written = 0;
  bool cancelled = false;
  std::vector<float> floats;
  if (control.decoded)
    control.decoded->Begin(format.channel_count, format.sample_rate, format.frame_count);
  const Status streamed =
      StreamWaveFrames(*wave, wave_path, [&](const uint8_t* piece, size_t count) {
        if (cancelled || !status.ok()) return false;
        if (held + piece_bound > capacity) {
          status = writer.Write(out.get(), held);
          held = 0;
          if (!status.ok()) return false;
        }
        const size_t made = EncodeFrames(format, mode, piece, count, changer, out.get() + held);
        if (control.decoded) FeedDecoded(format, piece, count, *control.decoded, floats);
        held += made;
        written += made;
        // Checked for every piece as well as at the marks, so a long sound
        // stops soon after the user asks.
        cancelled = control.cancelled() || !marks.Pass(written);
        return !cancelled;
      });
  if (cancelled) return cancelled_result;  // the writer removes its file
  if (!status.ok()) return failed(status);
  if (!streamed.ok()) return {ConversionOutcome::kRefused, streamed};
  if (!marks.PassAll()) return cancelled_result;
  if (written > UINT32_MAX) return failed(Status::IoError(kTooLong));
  status = writer.Write(out.get(), held);
  if (status.ok()) {
    const auto header = SunAuHeader(static_cast<uint32_t>(written));
    status = writer.WriteAt(header.data(), header.size(), 0);
  }
  if (status.ok()) status = writer.Commit();
  if (!status.ok()) return failed(status);
  return {ConversionOutcome::kConverted, Status::Ok()};
}

}  // namespace

ConversionResult ConvertWaveFile(const std::string& wave_path, const std::string& au_path,
                                 const ConversionControl& control) {
  std::optional<InputFile> file = InputFile::OpenIfReadable(wave_path);
  const SoundKind kind = file ? SniffSoundKind(*file) : SoundKind::kUnknown;
  switch (kind) {
    case SoundKind::kWave: {
      const WaveParseResult parsed = ParseWaveLayout(*file, {});
      if (parsed.fault && (*parsed.fault == WaveFault::kUnidentifiedEncoding ||
                           *parsed.fault == WaveFault::kSampleWidth)) {
        return ConvertDecodedSound(
            wave_path, au_path, control,
            WaveFaultMessage(DescribedPath(wave_path, SoundKind::kWave), *parsed.fault,
                             parsed.detail, MessageForm::kDecode));
      }
      return Convert(wave_path, au_path, control);
    }
    case SoundKind::kSunAu: {
      SunAuReader reader;
      Status checked = reader.Check(wave_path);
      if (!checked.ok()) return {ConversionOutcome::kRefused, checked};
      if (!IsPlayerReadyAu(reader)) return ConvertDecodedSound(wave_path, au_path, control);
      // Already what the player plays: the same bytes.
      Status copied = file_io::CopyFileAtomically(wave_path, au_path, control.cancel_requested);
      if (copied.ok()) return {ConversionOutcome::kConverted, Status::Ok()};
      if (copied.cancelled()) return {ConversionOutcome::kCancelled, Status::Cancelled()};
      return {ConversionOutcome::kWriteFailed,
              Status::IoError(CannotWriteMessage(au_path, copied.message()))};
    }
    case SoundKind::kUnknown:
      // The short message of the kind its name promises.
      if (!file || IsDecodedSoundPath(wave_path) || !(IsWavePath(wave_path) || IsAuPath(wave_path)))
        return ConvertDecodedSound(wave_path, au_path, control);
      if (IsWavePath(wave_path)) return Convert(wave_path, au_path, control);
      return {ConversionOutcome::kRefused,
              Status::Corrupt(NotAuFileMessage(wave_path)).WithBox(BoxStyle::kPlain)};
    default:
      return ConvertDecodedSound(wave_path, au_path, control);
  }
}

}  // namespace sonavelt::audio
