#include "audio/wave_reader.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#include "audio/sound_kind.h"
#include "base/byte_order.h"
#include "base/file_io.h"

namespace sonavelt::audio {

namespace {

constexpr size_t kFormatBodyBytes = 16;  // the fixed part of "fmt "
constexpr uint16_t kPcmFormatTag = 1;
// Read size while streaming frames: a multiple of every block size (1, 2, 4).
constexpr size_t kStreamBytes = 1 << 18;

// A chunk tag as text for messages: unprintable bytes shown as '?'.
std::string PrintableTag(const uint8_t* tag) {
  std::string text;
  for (int i = 0; i < 4; ++i) text.push_back(tag[i] >= 0x20 && tag[i] < 0x7F ? static_cast<char>(tag[i]) : '?');
  return text;
}

WaveParseResult Fault(WaveFault fault) {
  WaveParseResult result;
  result.fault = fault;
  return result;
}

// Reads and checks the fixed part of a format chunk.
WaveParseResult ReadFormat(const uint8_t* body, SoundFormat* format) {
  if (LoadLe16(body) != kPcmFormatTag) return Fault(WaveFault::kUnidentifiedEncoding);
  format->encoding_name = kPcmEncoding;
  format->channel_count = LoadLe16(body + 2);
  uint32_t rate = LoadLe32(body + 4);
  format->bits_per_sample = LoadLe16(body + 14);
  // The rate is held in an int; rates beyond its range fail the range check
  // below anyway.
  format->sample_rate = rate > INT32_MAX ? INT32_MAX : static_cast<int>(rate);
  WaveParseResult result;
  result.detail.format = *format;
  if (format->channel_count < 1 || format->channel_count > 2) {
    result.fault = WaveFault::kChannelCount;
  } else if (format->bits_per_sample != 8 && format->bits_per_sample != 16) {
    // Widths other than 8 and 16 have no decoding path, and widths below 8
    // make the frame count meaningless: refuse them while checking.
    result.fault = WaveFault::kSampleWidth;
  } else if (format->sample_rate < kMinWaveRate || format->sample_rate > kMaxWaveRate) {
    result.fault = WaveFault::kSampleRate;
  }
  return result;
}

}  // namespace

WaveParseResult ParseWaveLayout(const InputFile& file,
                                const std::function<bool(const SoundFormat&)>& on_format) {
  const uint64_t length = file.size();
  uint8_t head[12] = {};
  int64_t got = file.ReadAt(head, sizeof head, 0);
  if (got < 0) {
    WaveParseResult result = Fault(WaveFault::kReadFailed);
    result.detail.reason = file_io::ErrorText(errno);
    return result;
  }
  if (got < 4 || std::memcmp(head, "RIFF", 4) != 0) return Fault(WaveFault::kNotRiff);
  if (got < 12 || std::memcmp(head + 8, "WAVE", 4) != 0) return Fault(WaveFault::kNotWave);
  const uint64_t riff_size = LoadLe32(head + 4);

  SoundFormat format;
  bool format_seen = false;
  uint64_t position = 12;
  // The RIFF size bounds the walk as it always has; the file length bounds
  // every read. A chunk header that does not fit ends the walk.
  while (position - 8 < riff_size && position + 8 <= length) {
    uint8_t header[8];
    if (file.ReadAt(header, 8, position) != 8) break;
    const uint64_t size = LoadLe32(header + 4);
    const uint64_t body = position + 8;
    if (size > length - body) {
      WaveParseResult result = Fault(WaveFault::kChunkPastEnd);
      result.detail.chunk_tag = PrintableTag(header);
      result.detail.chunk_size = size;
      result.detail.bytes_left = length - body;
      return result;
    }
    if (std::memcmp(header, "fmt ", 4) == 0) {
      if (size < kFormatBodyBytes) return Fault(WaveFault::kShortFormat);
      uint8_t fixed[kFormatBodyBytes];
      if (file.ReadAt(fixed, sizeof fixed, body) != static_cast<int64_t>(sizeof fixed)) {
        return Fault(WaveFault::kReadFailed);
      }
      WaveParseResult checked = ReadFormat(fixed, &format);
      if (checked.fault) return checked;
      if (on_format && !on_format(format)) {
        WaveParseResult result;
        result.declined = true;
        return result;
      }
      format_seen = true;
    } else if (std::memcmp(header, "data", 4) == 0) {
      if (!format_seen) return Fault(WaveFault::kDataBeforeFormat);
      WaveParseResult result;
      result.layout.block_size = format.channel_count * (format.bits_per_sample / 8);
      format.frame_count = static_cast<int64_t>(size / static_cast<uint64_t>(result.layout.block_size));
      result.layout.format = format;
      result.layout.data_offset = body;
      return result;
    }
    // Chunk bodies are word-aligned: an odd-sized body is followed by a pad
    // byte that belongs to no chunk.
    position = body + size + (size & 1);
  }
  return Fault(WaveFault::kNoData);
}

Status CheckWaveFile(const std::string& path, Questions& questions, WaveCheckState& state,
                     SoundFormat* format) {
  std::optional<InputFile> file;
  if (Status opened = InputFile::Open(path, &file); !opened.ok()) {
    WaveFaultDetail detail;
    detail.reason = opened.message();
    return Status::IoError(
        WaveFaultMessage(path, WaveFault::kCannotOpen, detail, MessageForm::kCheck));
  }
  WaveParseResult result = ParseWaveLayout(*file, nullptr);
  if (result.fault)
    return Status::Corrupt(WaveFaultMessage(DescribedPath(path, SoundKind::kWave), *result.fault,
                                            result.detail, MessageForm::kCheck));
  if (state.preparing_run &&
      !AskFormatChange(DescribedPath(path, SoundKind::kWave), result.layout.format, questions, state))
    return Status::Cancelled();
  if (result.layout.format.frame_count > state.max_wave_frames) {
    state.max_wave_frames = result.layout.format.frame_count;
  }
  if (format) *format = result.layout.format;
  return Status::Ok();
}

bool AskFormatChange(const std::string& path, const SoundFormat& format, Questions& questions,
                     WaveCheckState& state) {
  const std::string question = FormatChangeQuestion(path, format);
  if (question.empty()) return true;
  if (state.answer_for_all) return *state.answer_for_all;
  switch (questions.AskInSeries(BoxStyle::kSystemModal, question, state.more_sounds_waiting)) {
    case SeriesAnswer::kYes: return true;
    case SeriesAnswer::kNo: return false;
    case SeriesAnswer::kYesToAll: state.answer_for_all = true; return true;
    case SeriesAnswer::kNoToAll: state.answer_for_all = false; return false;
  }
  return false;
}

Status OpenWaveForDecoding(const std::string& path, std::optional<OpenedWave>* wave) {
  wave->reset();
  std::optional<InputFile> file;
  const Status opened = InputFile::Open(path, &file);
  WaveParseResult result;
  if (!opened.ok()) {
    result.fault = WaveFault::kCannotOpen;
    result.detail.reason = opened.message();
  } else {
    result = ParseWaveLayout(*file, nullptr);
  }
  if (result.fault) {
    return Status::Corrupt(
               WaveFaultMessage(DescribedPath(path, SoundKind::kWave), *result.fault, result.detail,
                         MessageForm::kDecode))
        .WithBox(BoxStyle::kPlain);
  }
  wave->emplace(OpenedWave{std::move(*file), result.layout});
  return Status::Ok();
}

size_t WaveStreamBytes() { return kStreamBytes; }

Status StreamWaveFrames(const OpenedWave& wave, const std::string& path,
                        const std::function<bool(const uint8_t* frames, size_t count)>& consume) {
  const uint64_t block = static_cast<uint64_t>(wave.layout.block_size);
  uint64_t left = static_cast<uint64_t>(wave.layout.format.frame_count) * block;
  uint64_t offset = wave.layout.data_offset;
  // Reused for every piece: only this much of the input is in memory.
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kStreamBytes]);
  while (left > 0) {
    size_t want = left < kStreamBytes ? static_cast<size_t>(left) : kStreamBytes;
    int64_t got = wave.file.ReadAt(buffer.get(), want, offset);
    if (got != static_cast<int64_t>(want)) {
      // The file changed under us since its header was read.
      WaveFaultDetail detail;
      if (got < 0) detail.reason = file_io::ErrorText(errno);
      return Status::IoError(
                 WaveFaultMessage(path, WaveFault::kReadFailed, detail, MessageForm::kDecode))
          .WithBox(BoxStyle::kPlain);
    }
    if (!consume(buffer.get(), want / block)) return Status::Ok();
    offset += want;
    left -= want;
  }
  return Status::Ok();
}

}  // namespace sonavelt::audio
