#include "audio/sound_decoder.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/au_writer.h"
#include "audio/mulaw.h"
#include "audio/posix_file.h"
#include "audio/rate_change.h"
#include "audio/sound_messages.h"
#include "base/file_io.h"
#include "base/text.h"

namespace sonavelt::audio {

namespace {

// Frames per read: small enough that a many-channel file stays a few
// hundred kilobytes of floats, large enough that libsndfile's per-call cost
// does not show.
constexpr int64_t kBlockFrames = 4096;

const char kNoSound[] = "the file holds no sound";
const char kTooLong[] = "the sound is too long for an .au file";

std::string WithoutFinalStop(std::string text) {
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text;
}

bool EndsWith(const std::string& text, const char* suffix) {
  const size_t n = std::char_traits<char>::length(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// The decoded-format extension the file name ends in, or nullptr.
const char* DecodedExtensionOf(const std::string& path) {
  const std::string lower = LowerCopy(FileNameOfPath(path));
  for (const char* ext : kDecodedSoundExtensions) {
    if (lower.size() > std::char_traits<char>::length(ext) && EndsWith(lower, ext)) return ext;
  }
  return nullptr;
}

// libsndfile's reason for a failed open, in words for the user. Its own
// text for an unrecognised file can be misleading (a readable file that
// merely fails to decode is reported as "not a regular file").
std::string OpenFailureReason() {
  const char kUnknown[] = "its contents are not in a sound format Sonavelt can read";
  const int code = sf_error(nullptr);
  if (code == SF_ERR_UNRECOGNISED_FORMAT || code == SF_ERR_SYSTEM) return kUnknown;
  const std::string text = sf_strerror(nullptr);
  if (text.find("regular file") != std::string::npos) return kUnknown;
  return WithoutFinalStop(text);
}

}  // namespace

bool IsDecodedSoundPath(const std::string& path) { return DecodedExtensionOf(path) != nullptr; }

std::string DecodedSoundStem(const std::string& path) {
  std::string name = FileNameOfPath(path);
  if (const char* ext = DecodedExtensionOf(path))
    name.resize(name.size() - std::char_traits<char>::length(ext));
  return name;
}

bool NeedsDecoder(const std::string& path) {
  if (IsDecodedSoundPath(path)) return true;
  if (!IsWavePath(path)) return false;
  std::optional<InputFile> file = InputFile::Open(path, nullptr);
  if (!file) return false;
  const WaveParseResult parsed = ParseWaveLayout(*file, {});
  if (!parsed.fault) return false;
  switch (*parsed.fault) {
    case WaveFault::kUnidentifiedEncoding:
    case WaveFault::kSampleWidth:
      return true;
    default:
      return false;
  }
}

struct SoundDecoder::Handle {
  SNDFILE* file = nullptr;
  ~Handle() {
    if (file) sf_close(file);
  }
};

SoundDecoder::SoundDecoder(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
SoundDecoder::SoundDecoder(SoundDecoder&&) noexcept = default;
SoundDecoder& SoundDecoder::operator=(SoundDecoder&&) noexcept = default;
SoundDecoder::~SoundDecoder() = default;

std::optional<SoundDecoder> SoundDecoder::Open(const std::string& path, std::string* error) {
  // A folder or a file that cannot be read gets the system's reason, not
  // libsndfile's guess about the format.
  int open_error = 0;
  if (!InputFile::Open(path, &open_error)) {
    if (error) *error = file_io::ErrorText(open_error);
    return std::nullopt;
  }
  SF_INFO info{};
  auto handle = std::make_unique<Handle>();
  handle->file = sf_open(path.c_str(), SFM_READ, &info);
  if (!handle->file) {
    if (error) *error = OpenFailureReason();
    return std::nullopt;
  }
  if (info.channels <= 0 || info.samplerate <= 0) {
    if (error) *error = "the file states no channels or no sample rate";
    return std::nullopt;
  }
  // The same bounds as for WAVE files: a bogus rate must not blow the .au
  // up (below 8000 Hz samples are repeated).
  if (info.samplerate < kMinWaveRate || info.samplerate > kMaxWaveRate) {
    if (error)
      *error = "its sample rate of " + DecimalText(info.samplerate) + " Hz is outside " +
               DecimalText(kMinWaveRate) + " to " + DecimalText(kMaxWaveRate) + " Hz";
    return std::nullopt;
  }
  // Out-of-range floating-point samples are clipped, not wrapped, when
  // libsndfile converts between sample types.
  sf_command(handle->file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  SoundDecoder decoder(std::move(handle));
  decoder.channels_ = info.channels;
  decoder.sample_rate_ = info.samplerate;
  decoder.frame_count_ = info.frames;
  decoder.subtype_ = info.format & SF_FORMAT_SUBMASK;
  return decoder;
}

SoundFormat SoundDecoder::format() const {
  SoundFormat format;
  format.encoding_name = kPcmEncoding;
  format.channel_count = channels_;
  format.sample_rate = sample_rate_;
  format.frame_count = frame_count_;
  switch (subtype_) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      format.bits_per_sample = 8;
      break;
    case SF_FORMAT_PCM_24:
      format.bits_per_sample = 24;
      break;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
      format.bits_per_sample = 32;
      break;
    case SF_FORMAT_DOUBLE:
      format.bits_per_sample = 64;
      break;
    default:
      format.bits_per_sample = 16;
  }
  return format;
}

int64_t SoundDecoder::Read(float* out, int64_t max_frames) {
  const sf_count_t got = sf_readf_float(handle_->file, out, max_frames);
  // libsndfile answers a short count both at the end and on a fault; only
  // its error state tells them apart.
  if (sf_error(handle_->file) != SF_ERR_NO_ERROR) {
    error_ = WithoutFinalStop(sf_strerror(handle_->file));
    return -1;
  }
  return got;
}

std::string CannotDecodeMessage(const std::string& path, const std::string& reason) {
  return path + " cannot be decoded: " + reason + ".\r\nPlease select another audio file.";
}

Status CheckDecodedSound(const std::string& path, Questions& questions, WaveCheckState& state) {
  std::string error;
  std::optional<SoundDecoder> decoder = SoundDecoder::Open(path, &error);
  if (!decoder) return Status::Corrupt(CannotDecodeMessage(path, error));
  std::vector<float> block(static_cast<size_t>(kBlockFrames * decoder->channels()));
  const int64_t got = decoder->Read(block.data(), kBlockFrames);
  if (got <= 0)
    return Status::Corrupt(CannotDecodeMessage(path, got < 0 ? decoder->error() : kNoSound));
  const SoundFormat format = decoder->format();
  if (state.preparing_run) {
    const std::string question = FormatChangeQuestion(path, format);
    if (!question.empty() && !questions.Ask(BoxStyle::kSystemModal, question))
      return Status::Cancelled();
  }
  if (format.frame_count > state.max_wave_frames) state.max_wave_frames = format.frame_count;
  return Status::Ok();
}

ConversionResult ConvertDecodedSound(const std::string& path, const std::string& au_path,
                                     const ConversionControl& control) {
  auto refused = [&](const std::string& reason) {
    return ConversionResult{
        ConversionOutcome::kRefused,
        Status::Corrupt(CannotDecodeMessage(path, reason)).WithBox(BoxStyle::kPlain)};
  };
  std::string error;
  std::optional<SoundDecoder> decoder = SoundDecoder::Open(path, &error);
  if (!decoder) return refused(error);
  auto failed = [&](const std::string& reason) {
    return ConversionResult{ConversionOutcome::kWriteFailed,
                            Status::IoError(CannotWriteMessage(au_path, reason))};
  };
  // The codes go to the file block by block, as in the WAVE conversion; the
  // header's data size is filled in when the count is known.
  file_io::AtomicFileWriter writer;
  Status status = writer.Open(au_path);
  if (!status.ok()) return failed(status.message());
  const auto blank_header = SunAuHeader(0);
  status = writer.Write(blank_header.data(), blank_header.size());
  if (!status.ok()) return failed(status.message());

  const int channels = decoder->channels();
  RateChanger changer(decoder->sample_rate(), kAuSampleRate);
  std::vector<float> block(static_cast<size_t>(kBlockFrames * channels));
  std::vector<uint8_t> codes;
  codes.reserve(static_cast<size_t>(
      MaxRateChangeOutputs(kBlockFrames, decoder->sample_rate(), kAuSampleRate, 2)));
  // Progress at the tenth marks of the input the file states (an MP3's
  // count may be an estimate: marks past its end are never reported).
  const int64_t stated = decoder->frame_count();
  int64_t read = 0;
  int reported = 0;
  uint64_t written = 0;
  for (;;) {
    const int64_t got = decoder->Read(block.data(), kBlockFrames);
    if (got < 0) return refused(decoder->error());  // the writer removes its file
    if (got == 0) break;
    codes.clear();
    for (int64_t i = 0; i < got; ++i) {
      int copies = changer.Next();
      if (copies == 0) continue;
      // floor keeps the 16-bit values of 8- and 16-bit sources exact and
      // takes the top 16 bits of wider ones.
      const double scaled = std::floor(static_cast<double>(block[i * channels]) * 32768.0);
      const int32_t sample =
          scaled >= 32767.0 ? 32767 : scaled <= -32768.0 ? -32768 : static_cast<int32_t>(scaled);
      const uint8_t code = EncodeMuLaw(sample);
      while (copies-- > 0) codes.push_back(code);
    }
    written += codes.size();
    if (written > UINT32_MAX) return failed(kTooLong);
    status = writer.Write(codes.data(), codes.size());
    if (!status.ok()) return failed(status.message());
    if (control.cancelled()) return {ConversionOutcome::kCancelled, Status::Cancelled()};
    read += got;
    if (stated > 0 && control.report_progress) {
      const int tenth = static_cast<int>(std::min<int64_t>(9, read * 10 / stated));
      for (; reported < tenth; ++reported) control.report_progress((reported + 1) * 10);
    }
  }
  if (written == 0) return refused(kNoSound);
  const auto header = SunAuHeader(static_cast<uint32_t>(written));
  status = writer.WriteAt(header.data(), header.size(), 0);
  if (status.ok()) status = writer.Commit();
  if (!status.ok()) return failed(status.message());
  return {ConversionOutcome::kConverted, Status::Ok()};
}

}  // namespace sonavelt::audio
