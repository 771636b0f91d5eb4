#include "audio/sound_decoder.h"

#include <mpg123.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <mutex>
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
const char kCutShort[] = "its sound data ends before the file says it does";

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
const char kUnknown[] = "its contents are not in a sound format Sonavelt can read";

std::string OpenFailureReason() {
  const int code = sf_error(nullptr);
  if (code == SF_ERR_UNRECOGNISED_FORMAT || code == SF_ERR_SYSTEM) return kUnknown;
  const std::string text = sf_strerror(nullptr);
  if (text.find("regular file") != std::string::npos) return kUnknown;
  return WithoutFinalStop(text);
}

// Opens path into *handle with libmpg123's quiet flag, float samples at the
// file's own rate and channels, gapless (the default), so its frame count is
// the sound's. A refusal answers InvalidArgument with the library's reason.
Status OpenMpeg(const std::string& path, mpg123_handle** opened) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { mpg123_init(); });
  int code = MPG123_OK;
  mpg123_handle* handle = mpg123_new(nullptr, &code);
  if (handle == nullptr) return Status::InvalidArgument(WithoutFinalStop(mpg123_plain_strerror(code)));
  mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  mpg123_format_none(handle);
  const long* rates = nullptr;
  size_t rate_count = 0;
  mpg123_rates(&rates, &rate_count);
  for (size_t i = 0; i < rate_count; ++i)
    mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
  long rate = 0;
  int channels = 0;
  int encoding = 0;
  if (mpg123_open(handle, path.c_str()) != MPG123_OK ||
      mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK) {
    Status refused = Status::InvalidArgument(WithoutFinalStop(mpg123_strerror(handle)));
    mpg123_delete(handle);
    return refused;
  }
  // The format is fixed from here on: a stream that changes it part way is
  // resampled by nothing, so it is refused at that point instead.
  mpg123_format_none(handle);
  mpg123_format(handle, rate, channels, encoding);
  // The exact length comes from the frames themselves, not an estimate.
  mpg123_scan(handle);
  *opened = handle;
  return Status::Ok();
}

// The message for a file SoundDecoder::Open refused.
std::string DecoderRefusal(const std::string& path, const Status& opened,
                           const std::string& refusal, MessageForm form) {
  const bool cut = opened.code() == Status::Code::kCorrupt;
  std::optional<InputFile> file = InputFile::OpenIfReadable(path);
  const SoundKind kind = file ? SniffSoundKind(*file) : SoundKind::kUnknown;
  if (cut) return CutShortMessage(DescribedPath(path, kind), KindName(kind), form);
  if (!refusal.empty()) return refusal;
  return CannotDecodeMessage(DescribedPath(path, kind), opened.message());
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
  std::optional<InputFile> file = InputFile::OpenIfReadable(path);
  if (!file) return false;
  switch (SniffSoundKind(*file)) {
    case SoundKind::kUnknown:
    case SoundKind::kSunAu:
      return false;
    case SoundKind::kWave:
      break;
    default:
      return true;
  }
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
  mpg123_handle* mpeg = nullptr;
  ~Handle() {
    if (file) sf_close(file);
    if (mpeg) mpg123_delete(mpeg);
  }
};

SoundDecoder::SoundDecoder(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
SoundDecoder::SoundDecoder(SoundDecoder&&) noexcept = default;
SoundDecoder& SoundDecoder::operator=(SoundDecoder&&) noexcept = default;
SoundDecoder::~SoundDecoder() = default;

Status SoundDecoder::Open(const std::string& path, std::optional<SoundDecoder>* decoder) {
  decoder->reset();
  // A folder or a file that cannot be read gets the system's reason, not
  // a library's guess about the format.
  std::optional<InputFile> input;
  if (Status opened = InputFile::Open(path, &input); !opened.ok()) return opened;
  const SoundKind kind = SniffSoundKind(*input);
  if (kind == SoundKind::kUnknown) return Status::InvalidArgument(kUnknown);
  if (IsCutShort(*input, kind)) return Status::Corrupt(kCutShort);
  auto handle = std::make_unique<Handle>();
  int channels = 0;
  int rate = 0;
  int64_t frames = 0;
  int subtype = 0;
  if (kind == SoundKind::kMp3) {
    if (Status opened = OpenMpeg(path, &handle->mpeg); !opened.ok()) return opened;
    long mpeg_rate = 0;
    int encoding = 0;
    mpg123_getformat(handle->mpeg, &mpeg_rate, &channels, &encoding);
    rate = static_cast<int>(mpeg_rate);
    const off_t length = mpg123_length(handle->mpeg);
    frames = length > 0 ? static_cast<int64_t>(length) : 0;
  } else {
    SF_INFO info{};
    handle->file = sf_open(path.c_str(), SFM_READ, &info);
    if (!handle->file) return Status::InvalidArgument(OpenFailureReason());
    channels = info.channels;
    rate = info.samplerate;
    frames = info.frames;
    subtype = info.format & SF_FORMAT_SUBMASK;
    // A cut FLAC file states more samples than it holds: its last stated
    // sample cannot be reached (a seek through its frames, not a decode).
    if (kind == SoundKind::kFlac && frames > 0 && channels > 0) {
      std::vector<float> last(static_cast<size_t>(channels));
      const bool reached = sf_seek(handle->file, frames - 1, SEEK_SET) == frames - 1 &&
                           sf_readf_float(handle->file, last.data(), 1) == 1;
      if (!reached) return Status::Corrupt(kCutShort);
      sf_seek(handle->file, 0, SEEK_SET);
    }
  }
  if (channels <= 0 || rate <= 0)
    return Status::InvalidArgument("the file states no channels or no sample rate");
  // The same bounds as for WAVE files: a bogus rate must not blow the .au
  // up (below 8000 Hz samples are repeated).
  if (rate < kMinWaveRate || rate > kMaxWaveRate)
    return Status::InvalidArgument("its sample rate of " + DecimalText(rate) + " Hz is outside " +
                                   DecimalText(kMinWaveRate) + " to " + DecimalText(kMaxWaveRate) +
                                   " Hz");
  // Out-of-range floating-point samples are clipped, not wrapped, when
  // libsndfile converts between sample types.
  if (handle->file) sf_command(handle->file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  SoundDecoder opened(std::move(handle));
  opened.kind_ = kind;
  opened.channels_ = channels;
  opened.sample_rate_ = rate;
  opened.frame_count_ = frames;
  opened.subtype_ = subtype;
  decoder->emplace(std::move(opened));
  return Status::Ok();
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

Status SoundDecoder::Read(float* out, int64_t max_frames, int64_t* frames) {
  *frames = 0;
  if (handle_->mpeg) {
    const size_t frame_bytes = sizeof(float) * static_cast<size_t>(channels_);
    size_t done = 0;
    int code = MPG123_OK;
    // A read that only got past a frame the decoder skipped answers
    // nothing yet; only MPG123_DONE is the end.
    for (int tries = 0; tries < 64 && code == MPG123_OK && done == 0; ++tries)
      code = mpg123_read(handle_->mpeg, reinterpret_cast<unsigned char*>(out),
                         static_cast<size_t>(max_frames) * frame_bytes, &done);
    if (code == MPG123_NEW_FORMAT) return Status::InvalidArgument("its sound format changes part way");
    if (code != MPG123_OK && code != MPG123_DONE)
      return Status::InvalidArgument(WithoutFinalStop(mpg123_strerror(handle_->mpeg)));
    *frames = static_cast<int64_t>(done / frame_bytes);
    return Status::Ok();
  }
  const sf_count_t got = sf_readf_float(handle_->file, out, max_frames);
  // libsndfile answers a short count both at the end and on a fault; only
  // its error state tells them apart.
  if (sf_error(handle_->file) != SF_ERR_NO_ERROR)
    return Status::InvalidArgument(WithoutFinalStop(sf_strerror(handle_->file)));
  *frames = got;
  return Status::Ok();
}

std::string CannotDecodeMessage(const std::string& path, const std::string& reason) {
  return path + " cannot be decoded: " + reason + ".\r\nPlease select another audio file.";
}

Status CheckDecodedSound(const std::string& path, Questions& questions, WaveCheckState& state,
                         const std::string& refusal) {
  std::optional<SoundDecoder> decoder;
  if (Status opened = SoundDecoder::Open(path, &decoder); !opened.ok())
    return Status::Corrupt(DecoderRefusal(path, opened, refusal, MessageForm::kCheck));
  const std::string named = DescribedPath(path, decoder->kind());
  std::vector<float> block(static_cast<size_t>(kBlockFrames * decoder->channels()));
  int64_t got = 0;
  if (Status read = decoder->Read(block.data(), kBlockFrames, &got); !read.ok())
    return Status::Corrupt(CannotDecodeMessage(named, read.message()));
  if (got == 0) return Status::Corrupt(CannotDecodeMessage(named, kNoSound));
  const SoundFormat format = decoder->format();
  if (state.preparing_run && !AskFormatChange(named, format, questions, state))
    return Status::Cancelled();
  if (format.frame_count > state.max_wave_frames) state.max_wave_frames = format.frame_count;
  return Status::Ok();
}

ConversionResult ConvertDecodedSound(const std::string& path, const std::string& au_path,
                                     const ConversionControl& control, const std::string& refusal) {
  std::optional<SoundDecoder> decoder;
  if (Status opened = SoundDecoder::Open(path, &decoder); !opened.ok())
    return {ConversionOutcome::kRefused,
            Status::Corrupt(DecoderRefusal(path, opened, refusal, MessageForm::kDecode))
                .WithBox(BoxStyle::kPlain)};
  const std::string named = DescribedPath(path, decoder->kind());
  auto refused = [&](const std::string& reason) {
    return ConversionResult{
        ConversionOutcome::kRefused,
        Status::Corrupt(CannotDecodeMessage(named, reason)).WithBox(BoxStyle::kPlain)};
  };
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
  if (control.decoded) control.decoded->Begin(channels, decoder->sample_rate(), stated);
  int64_t read = 0;
  int reported = 0;
  uint64_t written = 0;
  for (;;) {
    int64_t got = 0;
    if (Status read = decoder->Read(block.data(), kBlockFrames, &got); !read.ok())
      return refused(read.message());  // the writer removes its file
    if (got == 0) break;
    if (control.decoded) control.decoded->Frames(block.data(), got);
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
