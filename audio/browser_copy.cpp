#include "audio/browser_copy.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "audio/posix_file.h"
#include "audio/sound_decoder.h"
#include "base/file_io.h"
#include "base/text.h"

namespace sonavelt::audio {

namespace {

constexpr int64_t kBlockFrames = 4096;

// libsndfile writes through these callbacks into memory (a copy is small:
// a few KB per second), so that the stream's serial number can be made
// fixed before the bytes go to a file_io::AtomicFileWriter, a temporary
// file renamed into place like every other file the program writes.
struct VirtualOut {
  std::string bytes;
  sf_count_t position = 0;
  sf_count_t length = 0;
};

// Ogg page layout: "OggS", version, flags, u64 granule position, u32 stream
// serial number (offset 14), u32 page sequence, u32 CRC (offset 22), u8
// segment count (26), the segment table, then the segments. The CRC is the
// direct (unreflected) CRC-32 with polynomial 0x04C11DB7 over the whole page
// with its CRC field zeroed.
constexpr uint32_t kCopySerial = 0x536F6E61;  // "Sona"

uint32_t OggCrc(const uint8_t* data, size_t size) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t r = i << 24;
      for (int k = 0; k < 8; ++k) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
      t[i] = r;
    }
    return t;
  }();
  uint32_t crc = 0;
  for (size_t i = 0; i < size; ++i) crc = (crc << 8) ^ table[((crc >> 24) ^ data[i]) & 0xFF];
  return crc;
}

// libsndfile gives each stream a serial number from the clock; a fixed one
// makes the same sound give the same bytes on every run (the file names the
// one stream it holds, so any number does). False when the bytes are not
// whole Ogg pages.
bool FixSerialNumbers(std::string& bytes) {
  auto* data = reinterpret_cast<uint8_t*>(bytes.data());
  size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < 27 || bytes.compare(at, 4, "OggS") != 0) return false;
    const size_t segments = data[at + 26];
    if (bytes.size() - at < 27 + segments) return false;
    size_t body = 0;
    for (size_t i = 0; i < segments; ++i) body += data[at + 27 + i];
    const size_t page = 27 + segments + body;
    if (bytes.size() - at < page) return false;
    for (int i = 0; i < 4; ++i) {
      data[at + 14 + i] = static_cast<uint8_t>(kCopySerial >> (8 * i));
      data[at + 22 + i] = 0;
    }
    const uint32_t crc = OggCrc(data + at, page);
    for (int i = 0; i < 4; ++i) data[at + 22 + i] = static_cast<uint8_t>(crc >> (8 * i));
    at += page;
  }
  return true;
}

sf_count_t OutLength(void* user) { return static_cast<VirtualOut*>(user)->length; }

sf_count_t OutSeek(sf_count_t offset, int whence, void* user) {
  auto* out = static_cast<VirtualOut*>(user);
  sf_count_t base = whence == SEEK_CUR ? out->position : whence == SEEK_END ? out->length : 0;
  if (base + offset < 0) return -1;
  out->position = base + offset;
  return out->position;
}

sf_count_t OutRead(void*, sf_count_t, void*) { return 0; }

sf_count_t OutWrite(const void* bytes, sf_count_t count, void* user) {
  auto* out = static_cast<VirtualOut*>(user);
  const size_t end = static_cast<size_t>(out->position + count);
  if (out->bytes.size() < end) out->bytes.resize(end);
  std::memcpy(out->bytes.data() + out->position, bytes, static_cast<size_t>(count));
  out->position += count;
  out->length = std::max(out->length, out->position);
  return count;
}

sf_count_t OutTell(void* user) { return static_cast<VirtualOut*>(user)->position; }

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
struct SoxrDeleter {
  void operator()(soxr* resampler) const { soxr_delete(resampler); }
};

// The libsndfile setting for a whole-stream bitrate: its Opus encoder maps
// a level q in 0..1 to (250000 x (1 - q) + 6000) bits per second per channel.
double CompressionLevelFor(int bitrate, int channels) {
  const double per_channel = static_cast<double>(bitrate) / channels;
  return std::clamp(1.0 - (per_channel - 6000.0) / 250000.0, 0.0, 1.0);
}

}  // namespace

Status MakeBrowserCopy(const std::string& source_path, const std::string& opus_path,
                       const ConversionControl& control, BrowserCopyInfo* info,
                       const BrowserCopyOptions& options) {
  const std::string reading = "reading " + source_path + ": ";
  const std::string writing = "writing " + opus_path + ": ";
  std::string error;
  std::optional<SoundDecoder> decoder = SoundDecoder::Open(source_path, &error);
  if (!decoder) return Status::Corrupt(reading + error);
  const int in_channels = decoder->channels();
  const int channels = in_channels == 1 ? 1 : 2;
  const int rate = decoder->sample_rate();

  std::unique_ptr<soxr, SoxrDeleter> resampler;
  if (rate != kBrowserCopyRate) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality =
        soxr_quality_spec(options.very_high_quality ? SOXR_VHQ : SOXR_HQ, 0);
    soxr_error_t soxr_error = nullptr;
    resampler.reset(soxr_create(rate, kBrowserCopyRate, static_cast<unsigned>(channels),
                                &soxr_error, &io, &quality, nullptr));
    if (!resampler) return Status::IoError(writing + "resampler: " + soxr_strerror(soxr_error));
  }

  VirtualOut out;
  file_io::AtomicFileWriter writer;
  Status opened = writer.Open(opus_path);
  if (!opened.ok()) return Status::IoError(writing + opened.message());
  SF_VIRTUAL_IO io{OutLength, OutSeek, OutRead, OutWrite, OutTell};
  SF_INFO format{};
  format.samplerate = kBrowserCopyRate;
  format.channels = channels;
  format.format = SF_FORMAT_OGG | SF_FORMAT_OPUS;
  std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open_virtual(&io, SFM_WRITE, &format, &out));
  if (!file) {
    return Status::IoError(writing + sf_strerror(nullptr));
  }
  double level = CompressionLevelFor(channels == 1 ? options.mono_bitrate : options.stereo_bitrate,
                                     channels);
  sf_command(file.get(), SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
  // The header's "input sample rate" stays 48000: libsndfile's own reader
  // decodes at that rate, and the recorded length is in 48000 Hz frames.

  std::vector<float> block(static_cast<size_t>(kBlockFrames * in_channels));
  std::vector<float> picked(static_cast<size_t>(kBlockFrames * channels));
  // Room for one block's output at the highest ratio (from kMinWaveRate)
  // plus the resampler's tail.
  const size_t out_capacity =
      static_cast<size_t>(kBlockFrames) * (kBrowserCopyRate / std::min(rate, kBrowserCopyRate) + 1) +
      4096;
  std::vector<float> resampled(out_capacity * static_cast<size_t>(channels));
  int64_t written = 0;

  auto write = [&](const float* frames, size_t count) -> Status {
    if (count == 0) return Status::Ok();
    if (sf_writef_float(file.get(), frames, static_cast<sf_count_t>(count)) !=
        static_cast<sf_count_t>(count)) {
      return Status::IoError(writing +
                             sf_strerror(file.get()));
    }
    written += static_cast<int64_t>(count);
    return Status::Ok();
  };
  // Feeds one block (nullptr: the end of input) through the resampler.
  auto resample = [&](const float* frames, size_t count) -> Status {
    if (!resampler) return write(frames, count);
    for (;;) {
      size_t used = 0;
      size_t made = 0;
      soxr_error_t failed = soxr_process(resampler.get(), frames, count, &used, resampled.data(),
                                         out_capacity, &made);
      if (failed) return Status::IoError(writing + "resampler: " + failed);
      Status status = write(resampled.data(), made);
      if (!status.ok()) return status;
      if (frames) {
        frames += used * static_cast<size_t>(channels);
        count -= used;
        if (count == 0 && made < out_capacity) return Status::Ok();
      } else if (made == 0) {
        return Status::Ok();  // the tail is flushed
      }
    }
  };

  for (;;) {
    const int64_t got = decoder->Read(block.data(), kBlockFrames);
    if (got < 0) return Status::Corrupt(reading + decoder->error());
    if (got == 0) break;
    const float* frames = block.data();
    if (in_channels > 2) {
      for (int64_t i = 0; i < got; ++i) {
        picked[2 * i] = block[i * in_channels];
        picked[2 * i + 1] = block[i * in_channels + 1];
      }
      frames = picked.data();
    }
    Status status = resample(frames, static_cast<size_t>(got));
    if (!status.ok()) return status;
    if (control.cancelled()) return Status::Cancelled();
  }
  Status flushed = resample(nullptr, 0);
  if (!flushed.ok()) return flushed;
  if (written == 0) return Status::Corrupt(reading + "the file holds no sound");

  // Closing writes the last page with the final granule position.
  file.reset();
  if (!FixSerialNumbers(out.bytes)) return Status::IoError(writing + "the Ogg pages came out cut");
  Status committed = writer.Write(out.bytes.data(), out.bytes.size());
  if (committed.ok()) committed = writer.Commit();
  if (!committed.ok()) return Status::IoError(writing + committed.message());
  if (info) *info = BrowserCopyInfo{written, channels, rate};
  return Status::Ok();
}

}  // namespace sonavelt::audio
