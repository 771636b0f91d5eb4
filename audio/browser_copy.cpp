#include "audio/browser_copy.h"

#include <ogg/ogg.h>
#include <opus/opus.h>
#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <memory>
#include <optional>

#include "audio/sound_decoder.h"
#include "base/file_io.h"
#include "base/text.h"

namespace sonavelt::audio {

namespace {

constexpr int64_t kBlockFrames = 4096;
// 20 ms at 48000 Hz: Opus's usual frame for music.
constexpr int kOpusFrame = 960;
// What the encoder of a loop sees of the sound's end before its start: four
// frames, enough for its analysis and the decoder's state to settle, so the
// first kept sample is decoded as if the sound had been playing all along.
constexpr int kLoopLeadIn = 4 * kOpusFrame;
// Bits per second per channel for the packets where a loop joins.
constexpr int kSeamBitrate = 128000;
// A fixed serial number makes the same sound give the same bytes on every
// run (the file holds one stream, so any number does).
constexpr uint32_t kCopySerial = 0x536F6E61;  // "Sona"
constexpr float kMinus3Db = 0.70710678f;

struct SoxrDeleter {
  void operator()(soxr* resampler) const { soxr_delete(resampler); }
};
struct EncoderDeleter {
  void operator()(OpusEncoder* encoder) const { opus_encoder_destroy(encoder); }
};

// Where a channel goes in the stereo downmix.
enum class Place { kLeft, kRight, kCentre, kLfe, kSurroundLeft, kSurroundRight, kRearCentre, kNone };

Place PlaceOf(int map) {
  switch (map) {
    case SF_CHANNEL_MAP_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
      return Place::kLeft;
    case SF_CHANNEL_MAP_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
      return Place::kRight;
    case SF_CHANNEL_MAP_MONO:
    case SF_CHANNEL_MAP_CENTER:
    case SF_CHANNEL_MAP_FRONT_CENTER:
      return Place::kCentre;
    case SF_CHANNEL_MAP_LFE:
      return Place::kLfe;
    case SF_CHANNEL_MAP_REAR_LEFT:
    case SF_CHANNEL_MAP_SIDE_LEFT:
    case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
    case SF_CHANNEL_MAP_TOP_REAR_LEFT:
      return Place::kSurroundLeft;
    case SF_CHANNEL_MAP_REAR_RIGHT:
    case SF_CHANNEL_MAP_SIDE_RIGHT:
    case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
    case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
      return Place::kSurroundRight;
    case SF_CHANNEL_MAP_REAR_CENTER:
    case SF_CHANNEL_MAP_TOP_CENTER:
    case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
    case SF_CHANNEL_MAP_TOP_REAR_CENTER:
      return Place::kRearCentre;
    default:
      return Place::kNone;
  }
}

// The usual layouts when a file states none: WAVE's channel-mask order
// (FLAC's too), and Vorbis's order for Ogg files.
std::vector<Place> UsualLayout(int channels, bool ogg_order) {
  using P = Place;
  const P L = P::kLeft, R = P::kRight, C = P::kCentre, F = P::kLfe, SL = P::kSurroundLeft,
          SR = P::kSurroundRight, BC = P::kRearCentre;
  switch (channels) {
    case 3: return ogg_order ? std::vector<P>{L, C, R} : std::vector<P>{L, R, C};
    case 4: return {L, R, SL, SR};
    case 5: return ogg_order ? std::vector<P>{L, C, R, SL, SR} : std::vector<P>{L, R, C, SL, SR};
    case 6:
      return ogg_order ? std::vector<P>{L, C, R, SL, SR, F} : std::vector<P>{L, R, C, F, SL, SR};
    case 7:
      return ogg_order ? std::vector<P>{L, C, R, SL, SR, BC, F}
                       : std::vector<P>{L, R, C, F, BC, SL, SR};
    case 8:
      return ogg_order ? std::vector<P>{L, C, R, SL, SR, SL, SR, F}
                       : std::vector<P>{L, R, C, F, SL, SR, SL, SR};
    default: {
      std::vector<P> places(static_cast<size_t>(channels), P::kNone);
      if (channels > 0) places[0] = L;
      if (channels > 1) places[1] = R;
      return places;
    }
  }
}

// The channel map the file states, or empty.
std::vector<int> StatedLayout(const std::string& path, int channels) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) return {};
  std::vector<int> map(static_cast<size_t>(channels));
  const bool stated = info.channels == channels &&
                      sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                                 static_cast<int>(map.size() * sizeof(int))) == SF_TRUE;
  sf_close(file);
  return stated ? map : std::vector<int>{};
}

bool IsOggName(const std::string& path) {
  const std::string lower = LowerCopy(path);
  for (const char* end : {".ogg", ".oga", ".opus"}) {
    const size_t n = std::char_traits<char>::length(end);
    if (lower.size() >= n && lower.compare(lower.size() - n, n, end) == 0) return true;
  }
  return false;
}

void PutLe16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}
void PutLe32(std::string& out, uint32_t value) {
  PutLe16(out, value & 0xFFFF);
  PutLe16(out, value >> 16);
}

// The identification header: "OpusHead", version 1, channels, pre-skip,
// input rate, output gain 0, mapping family 0 (mono or stereo).
std::string OpusHead(int channels, int pre_skip) {
  std::string head = "OpusHead";
  head += static_cast<char>(1);
  head += static_cast<char>(channels);
  PutLe16(head, static_cast<uint32_t>(pre_skip));
  // The header's "input sample rate" stays 48000: libsndfile's own reader
  // decodes at that rate, and the recorded length is in 48000 Hz frames.
  PutLe32(head, kBrowserCopyRate);
  PutLe16(head, 0);
  head += static_cast<char>(0);
  return head;
}

// The comment header: the encoder's vendor string and no comments.
std::string OpusTags() {
  std::string tags = "OpusTags";
  const std::string vendor = opus_get_version_string();
  PutLe32(tags, static_cast<uint32_t>(vendor.size()));
  tags += vendor;
  PutLe32(tags, 0);
  return tags;
}

class OggWriter {
 public:
  OggWriter() { ogg_stream_init(&stream_, static_cast<int>(kCopySerial)); }
  ~OggWriter() { ogg_stream_clear(&stream_); }
  OggWriter(const OggWriter&) = delete;
  OggWriter& operator=(const OggWriter&) = delete;

  // Header packets each end their page, as the Ogg Opus mapping asks.
  void Header(const std::string& packet) {
    Add(reinterpret_cast<const unsigned char*>(packet.data()), packet.size(), 0, false);
    Flush();
  }
  void Audio(const unsigned char* data, size_t size, int64_t granule, bool last) {
    Add(data, size, granule, last);
    ogg_page page;
    while (ogg_stream_pageout(&stream_, &page)) Append(page);
    if (last) Flush();
  }
  const std::string& bytes() const { return bytes_; }

 private:
  void Add(const unsigned char* data, size_t size, int64_t granule, bool last) {
    ogg_packet packet{};
    packet.packet = const_cast<unsigned char*>(data);
    packet.bytes = static_cast<long>(size);
    packet.b_o_s = packet_number_ == 0;
    packet.e_o_s = last;
    packet.granulepos = granule;
    packet.packetno = packet_number_++;
    ogg_stream_packetin(&stream_, &packet);
  }
  void Flush() {
    ogg_page page;
    while (ogg_stream_flush(&stream_, &page)) Append(page);
  }
  void Append(const ogg_page& page) {
    bytes_.append(reinterpret_cast<const char*>(page.header), static_cast<size_t>(page.header_len));
    bytes_.append(reinterpret_cast<const char*>(page.body), static_cast<size_t>(page.body_len));
  }

  ogg_stream_state stream_;
  int64_t packet_number_ = 0;
  std::string bytes_;
};

}  // namespace

std::vector<float> DownmixWeights(int channels, const std::vector<int>& layout, bool ogg_order) {
  std::vector<float> weights(2 * static_cast<size_t>(channels), 0.0f);
  if (channels == 1) return {1.0f, 0.0f};
  if (channels == 2) return {1.0f, 0.0f, 0.0f, 1.0f};
  std::vector<Place> places;
  if (static_cast<int>(layout.size()) == channels) {
    for (int map : layout) places.push_back(PlaceOf(map));
  }
  if (places.empty() || std::all_of(places.begin(), places.end(),
                                    [](Place p) { return p == Place::kNone; })) {
    places = UsualLayout(channels, ogg_order);
  }
  for (int c = 0; c < channels; ++c) {
    float& left = weights[static_cast<size_t>(c)];
    float& right = weights[static_cast<size_t>(channels + c)];
    switch (places[static_cast<size_t>(c)]) {
      case Place::kLeft: left = 1.0f; break;
      case Place::kRight: right = 1.0f; break;
      case Place::kCentre: left = right = kMinus3Db; break;
      case Place::kSurroundLeft: left = kMinus3Db; break;
      case Place::kSurroundRight: right = kMinus3Db; break;
      case Place::kRearCentre: left = right = 0.5f; break;
      case Place::kLfe:
      case Place::kNone: break;
    }
  }
  return weights;
}

void CopySampleCollector::Begin(int channels, int sample_rate, int64_t stated_frames) {
  in_channels_ = channels;
  channels_ = channels == 1 ? 1 : 2;
  rate_ = sample_rate;
  source_.clear();
  peak_ = 0.0f;
  weights_.clear();
  if (channels > 2) weights_ = DownmixWeights(channels, StatedLayout(path_, channels), IsOggName(path_));
  if (stated_frames > 0 && stated_frames < (int64_t{1} << 31))
    source_.reserve(static_cast<size_t>(stated_frames * channels_));
}

void CopySampleCollector::Frames(const float* samples, int64_t count) {
  if (in_channels_ <= 2) {
    source_.insert(source_.end(), samples, samples + count * in_channels_);
    return;
  }
  for (int64_t i = 0; i < count; ++i) {
    const float* in = samples + i * in_channels_;
    float left = 0.0f;
    float right = 0.0f;
    for (int c = 0; c < in_channels_; ++c) {
      left += weights_[static_cast<size_t>(c)] * in[c];
      right += weights_[static_cast<size_t>(in_channels_ + c)] * in[c];
    }
    source_.push_back(left);
    source_.push_back(right);
    peak_ = std::max({peak_, std::fabs(left), std::fabs(right)});
  }
}

Status CopySampleCollector::Finish(const ConversionControl& control, CopySamples* out,
                                   const BrowserCopyOptions& options) {
  const std::string reading = "reading " + path_ + ": ";
  const int channels = channels_;
  const int rate = rate_;
  std::vector<float> source = std::move(source_);
  source_ = {};
  const int64_t source_frames = channels ? static_cast<int64_t>(source.size()) / channels : 0;
  if (source_frames == 0) return Status::Corrupt(reading + "the file holds no sound");
  // Channels that add up past full scale would clip in the browser.
  if (peak_ > 1.0f) {
    const float scale = 1.0f / peak_;
    for (float& s : source) s *= scale;
  }
  out->channels = channels;
  out->source_rate = rate;
  int next_mark = 1;
  auto report = [&](int64_t done, int64_t total) {
    while (control.report_progress && total > 0 && next_mark <= 10 && done * 10 >= next_mark * total) {
      control.report_progress(next_mark * 10);
      ++next_mark;
    }
  };
  if (rate == kBrowserCopyRate) {
    if (control.report_progress) control.report_progress(100);
    out->samples = std::move(source);
    return Status::Ok();
  }

  // A loop goes through the resampler with its end before it and its start
  // after it, and the middle is kept: the lead is a whole number of steps
  // of rate / gcd(rate, 48000) source frames, so it makes a whole number of
  // output frames and the kept part starts exactly on the sound's start.
  int64_t lead = 0;
  if (options.loop) {
    const int64_t step = rate / std::gcd(rate, kBrowserCopyRate);
    const int64_t wanted = std::max<int64_t>(rate / 10, 1);
    lead = (wanted + step - 1) / step * step;
  }
  const int64_t lead_out = lead * kBrowserCopyRate / rate;
  const int64_t loop_out =
      (source_frames * kBrowserCopyRate + rate / 2) / rate;  // rounded to the nearest frame
  auto source_frame = [&](int64_t j) {
    const int64_t at = ((j % source_frames) + source_frames) % source_frames;
    return &source[static_cast<size_t>(at * channels)];
  };
  std::vector<float> input;
  if (lead > 0) {
    input.reserve(static_cast<size_t>((source_frames + 2 * lead) * channels));
    for (int64_t j = -lead; j < source_frames + lead; ++j) {
      const float* frame = source_frame(j);
      input.insert(input.end(), frame, frame + channels);
    }
    source.clear();
    source.shrink_to_fit();
  }
  const std::vector<float>& feed = lead > 0 ? input : source;
  const int64_t feed_frames = static_cast<int64_t>(feed.size()) / channels;

  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality =
      soxr_quality_spec(options.very_high_quality ? SOXR_VHQ : SOXR_HQ, 0);
  soxr_error_t soxr_error = nullptr;
  std::unique_ptr<soxr, SoxrDeleter> resampler(soxr_create(
      rate, kBrowserCopyRate, static_cast<unsigned>(channels), &soxr_error, &io, &quality, nullptr));
  if (!resampler) return Status::IoError(reading + "resampler: " + soxr_strerror(soxr_error));
  std::vector<float>& samples = out->samples;
  samples.clear();
  samples.reserve(static_cast<size_t>((feed_frames * kBrowserCopyRate / rate + 8192) * channels));
  const size_t out_capacity =
      static_cast<size_t>(kBlockFrames) * (kBrowserCopyRate / std::min(rate, kBrowserCopyRate) + 1) +
      4096;
  std::vector<float> made_block(out_capacity * static_cast<size_t>(channels));
  int64_t fed = 0;
  for (;;) {
    const bool at_end = fed >= feed_frames;
    const size_t count = at_end ? 0 : static_cast<size_t>(std::min(kBlockFrames, feed_frames - fed));
    size_t used = 0;
    size_t made = 0;
    soxr_error_t failed =
        soxr_process(resampler.get(), at_end ? nullptr : &feed[static_cast<size_t>(fed * channels)],
                     count, &used, made_block.data(), out_capacity, &made);
    if (failed) return Status::IoError(reading + "resampler: " + failed);
    samples.insert(samples.end(), made_block.begin(),
                   made_block.begin() + static_cast<std::ptrdiff_t>(made * channels));
    fed += static_cast<int64_t>(used);
    report(fed, feed_frames);
    if (at_end && made == 0) break;  // the tail is flushed
    if (control.cancelled()) return Status::Cancelled();
  }
  if (lead > 0) {
    const int64_t have = static_cast<int64_t>(samples.size()) / channels;
    const int64_t keep = std::min(loop_out, std::max<int64_t>(have - lead_out, 0));
    samples.erase(samples.begin() + static_cast<std::ptrdiff_t>((lead_out + keep) * channels),
                  samples.end());
    samples.erase(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(lead_out * channels));
  }
  if (samples.empty()) return Status::Corrupt(reading + "the file holds no sound");
  return Status::Ok();
}

Status ReadCopySamples(const std::string& source_path, const ConversionControl& control,
                       CopySamples* out, const BrowserCopyOptions& options) {
  const std::string reading = "reading " + source_path + ": ";
  std::optional<SoundDecoder> decoder;
  if (Status opened = SoundDecoder::Open(source_path, &decoder); !opened.ok())
    return Status::Corrupt(reading + opened.message());
  const int in_channels = decoder->channels();
  CopySampleCollector collector(source_path);
  collector.Begin(in_channels, decoder->sample_rate(), decoder->frame_count());
  std::vector<float> block(static_cast<size_t>(kBlockFrames * in_channels));
  // Progress: decoding is the first half, resampling the second, each told
  // at its tenth marks.
  int next_mark = 1;
  const int64_t stated = decoder->frame_count();
  int64_t decoded = 0;
  for (;;) {
    int64_t got = 0;
    if (Status read = decoder->Read(block.data(), kBlockFrames, &got); !read.ok())
      return Status::Corrupt(reading + read.message());
    if (got == 0) break;
    collector.Frames(block.data(), got);
    decoded += got;
    while (control.report_progress && stated > 0 && next_mark <= 5 && decoded * 5 >= next_mark * stated) {
      control.report_progress(next_mark * 10);
      ++next_mark;
    }
    if (control.cancelled()) return Status::Cancelled();
  }
  ConversionControl resampling;
  resampling.cancel_requested = control.cancel_requested;
  if (control.report_progress)
    resampling.report_progress = [&](int percent) { control.report_progress(50 + percent / 2); };
  return collector.Finish(resampling, out, options);
}

Status WriteBrowserCopy(const CopySamples& sound, const std::string& opus_path,
                        const ConversionControl& control, BrowserCopyInfo* info,
                        const BrowserCopyOptions& options) {
  const std::string writing = "writing " + opus_path + ": ";
  const int channels = sound.channels;
  const int64_t frames = sound.frames();
  if (frames == 0 || (channels != 1 && channels != 2))
    return Status::Corrupt(writing + "the sound holds no samples");

  int error = OPUS_OK;
  std::unique_ptr<OpusEncoder, EncoderDeleter> encoder(
      opus_encoder_create(kBrowserCopyRate, channels, OPUS_APPLICATION_AUDIO, &error));
  if (!encoder || error != OPUS_OK)
    return Status::IoError(writing + "the Opus encoder: " + opus_strerror(error));
  opus_encoder_ctl(encoder.get(),
                   OPUS_SET_BITRATE(channels == 1 ? options.mono_bitrate : options.stereo_bitrate));
  opus_encoder_ctl(encoder.get(), OPUS_SET_COMPLEXITY(10));
  opus_encoder_ctl(encoder.get(), OPUS_SET_SIGNAL(OPUS_SIGNAL_MUSIC));
  // Full bandwidth even at the mono rate: the copy is there for what the
  // 8000 Hz .au cannot carry.
  opus_encoder_ctl(encoder.get(), OPUS_SET_BANDWIDTH(OPUS_BANDWIDTH_FULLBAND));
  opus_int32 lookahead = 0;
  opus_encoder_ctl(encoder.get(), OPUS_GET_LOOKAHEAD(&lookahead));

  // The encoder's input: the lead-in (the sound's end for a loop, nothing
  // otherwise), the sound, then what follows it (its start again for a
  // loop, silence otherwise) up to whole frames. Decoded sample n is input
  // sample n - lookahead, so the pre-skip is lookahead + lead-in, and the
  // last packet ends at or after the sound's end.
  const int lead_in = options.loop ? kLoopLeadIn : 0;
  const int64_t pre_skip = lookahead + lead_in;
  const int64_t end = pre_skip + frames;
  const int64_t packets = (end + kOpusFrame - 1) / kOpusFrame;
  auto input_frame = [&](int64_t j) -> const float* {
    static const float kSilence[2] = {0.0f, 0.0f};
    int64_t at = j - lead_in;
    if (at < 0 || at >= frames) {
      if (!options.loop) return kSilence;
      at = ((at % frames) + frames) % frames;
    }
    return &sound.samples[static_cast<size_t>(at * channels)];
  };

  OggWriter ogg;
  ogg.Header(OpusHead(channels, static_cast<int>(pre_skip)));
  ogg.Header(OpusTags());
  std::vector<float> pcm(static_cast<size_t>(kOpusFrame * channels));
  std::vector<unsigned char> packet(4000);
  int next_mark = 1;
  const opus_int32 bitrate = channels == 1 ? options.mono_bitrate : options.stereo_bitrate;
  bool seam_rate = false;
  for (int64_t k = 0; k < packets; ++k) {
    // Where a loop joins, the last samples and the first come from different
    // packets, each with its own coding error; at the usual rate the two
    // errors differ enough to be a step. The packets around the join (the
    // lead-in, the first two and the last two) are coded finely instead.
    const bool at_seam = options.loop && ((k + 1) * kOpusFrame <= pre_skip + 2 * kOpusFrame ||
                                          k + 2 >= packets);
    if (at_seam != seam_rate) {
      opus_encoder_ctl(encoder.get(), OPUS_SET_BITRATE(at_seam ? kSeamBitrate * channels : bitrate));
      seam_rate = at_seam;
    }
    for (int i = 0; i < kOpusFrame; ++i) {
      const float* frame = input_frame(k * kOpusFrame + i);
      for (int c = 0; c < channels; ++c) pcm[static_cast<size_t>(i * channels + c)] = frame[c];
    }
    const opus_int32 size = opus_encode_float(encoder.get(), pcm.data(), kOpusFrame, packet.data(),
                                              static_cast<opus_int32>(packet.size()));
    if (size < 0) return Status::IoError(writing + "the Opus encoder: " + opus_strerror(size));
    const bool last = k + 1 == packets;
    // The last page's granule position is the sound's end: what the last
    // packet holds beyond it is cut off by the decoder.
    ogg.Audio(packet.data(), static_cast<size_t>(size), last ? end : (k + 1) * kOpusFrame, last);
    if (control.cancelled()) return Status::Cancelled();
    while (control.report_progress && next_mark <= 10 && (k + 1) * 10 >= next_mark * packets) {
      control.report_progress(next_mark * 10);
      ++next_mark;
    }
  }

  Status committed = file_io::WriteFileAtomically(opus_path, ogg.bytes());
  if (!committed.ok()) return Status::IoError(writing + committed.message());
  if (info) *info = BrowserCopyInfo{frames, channels, sound.source_rate};
  return Status::Ok();
}

Status MakeBrowserCopy(const std::string& source_path, const std::string& opus_path,
                       const ConversionControl& control, BrowserCopyInfo* info,
                       const BrowserCopyOptions& options) {
  CopySamples sound;
  ConversionControl reading;
  reading.cancel_requested = control.cancel_requested;
  Status status = ReadCopySamples(source_path, reading, &sound, options);
  if (!status.ok()) return status;
  return WriteBrowserCopy(sound, opus_path, control, info, options);
}

namespace {

// "channel 2 (right)", "channel 3" for a channel counted from 0.
std::string ChannelName(int channel, int channels) {
  std::string name = "channel " + DecimalText(channel + 1);
  if (channels == 2) name += channel == 0 ? " (left)" : " (right)";
  return name;
}

}  // namespace

Status CheckFirstChannel(const std::string& path, const ConversionControl& control) {
  std::optional<SoundDecoder> decoder;
  if (!SoundDecoder::Open(path, &decoder).ok() || decoder->channels() < 2) return Status::Ok();
  const int channels = decoder->channels();
  std::vector<double> energy(static_cast<size_t>(channels), 0.0);
  std::vector<float> block(static_cast<size_t>(kBlockFrames * channels));
  // A decoding fault ends the measure here; the conversion names it.
  for (int64_t got = 0; decoder->Read(block.data(), kBlockFrames, &got).ok() && got > 0;) {
    for (int64_t i = 0; i < got * channels; ++i) {
      const double v = block[static_cast<size_t>(i)];
      energy[static_cast<size_t>(i % channels)] += v * v;
    }
    if (control.cancelled()) return Status::Cancelled();
  }
  const auto loudest = std::max_element(energy.begin(), energy.end());
  const int channel = static_cast<int>(loudest - energy.begin());
  // Silence everywhere, or the first channel the loudest: nothing to say.
  if (*loudest <= 0.0 || channel == 0) return Status::Ok();
  const double ratio_db = energy[0] > 0.0 ? 10.0 * std::log10(*loudest / energy[0]) : 1000.0;
  if (ratio_db < 20.0) return Status::Ok();
  const std::string where = ChannelName(channel, channels);
  const std::string how = ratio_db >= 60.0 ? "which is silent; the sound is in " + where
                                           : "which is " + DecimalText(static_cast<int>(ratio_db)) +
                                                 " dB quieter than " + where;
  return Status::Refused("Converting " + path + ": the Java applet plays only its first channel" +
                         (channels == 2 ? std::string(" (left)") : std::string()) + ", " + how +
                         ". Browsers without Java get all of it. For the applet, move the sound "
                         "into the first channel or mix it down to mono.")
      .WithBox(BoxStyle::kPlain);
}

}  // namespace sonavelt::audio
