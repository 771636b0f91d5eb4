#include "audio/wave_converter.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>

#include "audio/au_writer.h"
#include "audio/mulaw.h"
#include "audio/rate_change.h"
#include "audio/sound_decoder.h"
#include "audio/sound_messages.h"
#include "audio/wave_reader.h"
#include "base/text.h"

namespace sonavelt::audio {

namespace {

const char kTooLong[] = "the sound is too long for an .au file";

// The output codes of one conversion, grown as pieces of input arrive.
class CodeBuffer {
 public:
  explicit CodeBuffer(uint64_t expected) { Reserve(expected); }

  // Makes room for `more` codes after the ones kept so far.
  void Reserve(uint64_t more) {
    if (size_ + more <= capacity_) return;
    uint64_t capacity = capacity_ + capacity_ / 2;
    if (capacity < size_ + more) capacity = size_ + more;
    // Left uninitialised: every byte is written before it is read.
    std::unique_ptr<uint8_t[]> bigger(new uint8_t[capacity]);
    if (size_ > 0) std::memcpy(bigger.get(), data_.get(), size_);
    data_ = std::move(bigger);
    capacity_ = capacity;
  }
  uint8_t* end() { return data_.get() + size_; }
  void Grow(uint64_t count) { size_ += count; }
  const uint8_t* data() const { return data_.get(); }
  uint64_t size() const { return size_; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  uint64_t size_ = 0;
  uint64_t capacity_ = 0;
};

template <int kBits>
inline int32_t Sample(const uint8_t* frame) {
  if constexpr (kBits == 8) {
    return (static_cast<int32_t>(frame[0]) - 128) * 256;
  } else {
    return static_cast<int16_t>(static_cast<uint16_t>(frame[0] | (frame[1] << 8)));
  }
}

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
    for (size_t j = 0; j < count; ++j) *out++ = EncodeMuLaw(Sample<kBits>(frames + j * kBlock));
  } else {
    double acc = changer.acc();
    const double step_in = changer.step_in();
    const double step_out = changer.step_out();
    for (size_t j = 0; j < count; ++j) {
      acc += step_in;
      if constexpr (kMode == RateMode::kDrop) {
        // From a higher rate at most one output per input.
        if (acc > step_out) {
          *out++ = EncodeMuLaw(Sample<kBits>(frames + j * kBlock));
          acc -= step_out;
        }
      } else {
        if (acc > step_out) {
          const uint8_t code = EncodeMuLaw(Sample<kBits>(frames + j * kBlock));
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

ConversionOutcome Convert(const std::string& wave_path, const std::string& au_path,
                          UserInterface& ui, const ConversionControl& control, FileStamp* stamp) {
  if (NeedsDecoder(wave_path)) return ConvertDecodedSound(wave_path, au_path, ui, control, stamp);
  std::optional<OpenedWave> wave = OpenWaveForDecoding(wave_path, ui);
  if (!wave) return ConversionOutcome::kRefused;
  if (stamp) *stamp = FileStamp{wave->file.size(), wave->file.mtime_ns()};
  const SoundFormat& format = wave->layout.format;
  const uint64_t frames = static_cast<uint64_t>(format.frame_count);

  const RateMode mode = format.sample_rate == kAuSampleRate ? RateMode::kSame
                        : format.sample_rate > kAuSampleRate ? RateMode::kDrop
                                                             : RateMode::kRepeat;
  RateChanger changer(format.sample_rate, kAuSampleRate);
  // Sized for the whole output at once; each piece then only checks that
  // its own bound fits, so the buffer is never regrown (and never copied)
  // in the ordinary case.
  const uint64_t bound = MaxRateChangeOutputs(frames, format.sample_rate, kAuSampleRate);
  // The .au data size is a 32-bit field; a long sound from a low rate could
  // pass it (and would need that much memory first).
  if (bound > UINT32_MAX) {
    ui.Tell(BoxStyle::kSystemModal, CannotWriteMessage(au_path, kTooLong));
    return ConversionOutcome::kWriteFailed;
  }
  CodeBuffer codes(bound);
  bool ok = StreamWaveFrames(*wave, wave_path, ui, [&](const uint8_t* piece, size_t count) {
    codes.Reserve(MaxRateChangeOutputs(count, format.sample_rate, kAuSampleRate, 2));
    codes.Grow(EncodeFrames(format, mode, piece, count, changer, codes.end()));
  });
  if (!ok) return ConversionOutcome::kRefused;

  std::string error;
  switch (WriteSunAu(au_path, codes.data(), static_cast<size_t>(codes.size()), control, &error)) {
    case WriteOutcome::kWritten:
      return ConversionOutcome::kConverted;
    case WriteOutcome::kCancelled:
      return ConversionOutcome::kCancelled;
    case WriteOutcome::kWriteFailed:
      break;
  }
  ui.Tell(BoxStyle::kSystemModal, CannotWriteMessage(au_path, error));
  return ConversionOutcome::kWriteFailed;
}

}  // namespace

ConversionOutcome ConvertWaveFile(const std::string& wave_path, const std::string& au_path,
                                  UserInterface& ui, const ConversionControl& control) {
  return Convert(wave_path, au_path, ui, control, nullptr);
}

WaveConverter::WaveConverter(const std::string& wave_path, AuCache& cache, UserInterface& ui,
                             const ConversionControl& control)
    : au_path_(cache.AuPathFor(wave_path)), outcome_(ConversionOutcome::kReused) {
  std::error_code ignored;
  std::filesystem::create_directories(cache.cache_folder(), ignored);
  if (cache.HasCurrentAu(wave_path)) return;
  FileStamp stamp;
  outcome_ = Convert(wave_path, au_path_, ui, control, &stamp);
  if (outcome_ == ConversionOutcome::kConverted) {
    cache.RecordAu(wave_path, au_path_, stamp);
  } else {
    // An older conversion of this source (or a leftover of that name) must
    // not pass for this one: the caller finds no file when it failed.
    cache.ForgetAu(wave_path);
    std::filesystem::remove(au_path_, ignored);
  }
}

std::string ConvertIfWav(const std::string& path, AuCache& cache, UserInterface& ui,
                         const ConversionControl& control, ConversionOutcome* outcome) {
  if (!IsWavePath(path) && !IsDecodedSoundPath(path)) {
    if (outcome) *outcome = ConversionOutcome::kNotWave;
    return path;
  }
  WaveConverter converter(path, cache, ui, control);
  if (outcome) *outcome = converter.outcome();
  return converter.au_path();
}

}  // namespace sonavelt::audio
