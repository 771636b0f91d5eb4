#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/conversion_progress.h"
#include "base/status.h"

// The browser player's copy of a sound: Ogg Opus at 48000 Hz, made from the
// original source (any format SoundDecoder opens, .au and WAVE included) at
// full bandwidth, beside the applet's .au.
//
// Channels: a mono source gives a mono copy, a stereo source a stereo copy.
// A source of more channels is mixed down to stereo: front left and right as
// they are, the centre and the surrounds (side and rear) at -3 dB into their
// side (centre into both), a rear centre at -6 dB into both, the LFE left
// out. The channel layout is the one the file states; a file that states
// none has its format's usual order for its channel count (WAVE and FLAC:
// L R C LFE BL BR SL SR; Ogg: L C R ...). A downmix that would clip is
// scaled down as a whole.
//
// Length: the copy holds exactly `frames` samples per channel at 48000 Hz
// (the resampler's output, its delay removed and its tail flushed), and
// the Ogg stream's pre-skip and final granule position make a decoder give
// back exactly that many and no more.
//
// Loops: a copy made with `loop` set is encoded as the sound repeating: the
// encoder first sees the end of the sound (the extra samples are covered by
// the pre-skip) and, after the end, the start again (cut off by the final
// granule position), so a decoded copy played over and over is continuous
// where its end meets its start. Without `loop` the sound starts from and
// ends in silence, the encoder's delay flushed, so its last samples decode
// whole.
namespace sonavelt::audio {

inline constexpr int kBrowserCopyRate = 48000;

struct BrowserCopyOptions {
  int mono_bitrate = 32000;    // bits per second, whole stream
  int stereo_bitrate = 48000;  // bits per second, whole stream
  bool very_high_quality = true;  // the resampler's VHQ setting, else HQ
  bool loop = false;              // the background: encoded as a loop
};

struct BrowserCopyInfo {
  int64_t frames = 0;  // samples per channel at 48000 Hz
  int channels = 0;    // 1 or 2
  int source_rate = 0;
};

// A sound made ready for its copy: interleaved floats at 48000 Hz, one or
// two channels (mixed down as above).
struct CopySamples {
  int channels = 0;
  int source_rate = 0;
  std::vector<float> samples;
  int64_t frames() const { return channels ? static_cast<int64_t>(samples.size()) / channels : 0; }
};

// The weights of a stereo downmix of `channels` channels laid out as
// `layout` (libsndfile's SF_CHANNEL_MAP_* values; empty: the usual order
// for the count, Ogg's when `ogg_order`): left weights then right weights,
// 2 x channels values. Mono and stereo give themselves.
std::vector<float> DownmixWeights(int channels, const std::vector<int>& layout, bool ogg_order);

// Gathers a sound for its copy as it is decoded, mixed down as above: the
// decoding an .au conversion does anyway (ConversionControl::decoded)
// feeds the copy too. Holds the whole sound at its own rate (at most two
// channels of floats) until Finish.
class CopySampleCollector : public DecodedSoundSink {
 public:
  // source_path names the sound (for its stated channel layout and the
  // messages); it is not read here unless the sound has more than two
  // channels (the layout is in its header).
  explicit CopySampleCollector(std::string source_path) : path_(std::move(source_path)) {}

  void Begin(int channels, int sample_rate, int64_t stated_frames) override;
  void Frames(const float* samples, int64_t count) override;
  // True once a decoding has begun handing the sound over.
  bool begun() const { return channels_ > 0; }

  // Makes the gathered sound ready for its copy (CopySamples at 48000 Hz)
  // and lets go of it. Cancel is checked after every block; progress goes
  // to control.report_progress at the tenth marks of the resampling.
  // Errors: "reading x.flac: <reason>".
  Status Finish(const ConversionControl& control, CopySamples* out,
                const BrowserCopyOptions& options = {});

 private:
  std::string path_;
  int in_channels_ = 0;
  int channels_ = 0;
  int rate_ = 0;
  std::vector<float> weights_;
  std::vector<float> source_;
  float peak_ = 0.0f;
};

// Decodes source_path and makes it ready for its copy. Cancel is checked
// after every block read; progress goes to control.report_progress at the
// tenth marks (decoding up to 50, resampling up to 100). Errors: "reading
// x.flac: <reason>".
Status ReadCopySamples(const std::string& source_path, const ConversionControl& control,
                       CopySamples* out, const BrowserCopyOptions& options = {});

// Encodes the samples into opus_path (a temporary file beside it renamed
// when complete). Progress goes to control.report_progress at the tenth
// marks of the encoding. Errors: "writing x.opus: <reason>".
Status WriteBrowserCopy(const CopySamples& sound, const std::string& opus_path,
                        const ConversionControl& control, BrowserCopyInfo* info,
                        const BrowserCopyOptions& options = {});

// Both steps: writes opus_path from source_path. The file appears under
// opus_path only when complete; any failure or a cancel leaves no file of
// that name. The Status message names the file: "reading x.flac: <reason>"
// or "writing x.opus: <reason>"; a cancel answers Status::Cancelled.
Status MakeBrowserCopy(const std::string& source_path, const std::string& opus_path,
                       const ConversionControl& control, BrowserCopyInfo* info,
                       const BrowserCopyOptions& options = {});

// The Java applet's .au keeps only the first channel of a sound. For a
// sound of two or more channels whose first channel is silent, or 20 dB or
// more quieter than its loudest one, answers a warning (Status::Refused,
// plain box) naming the file and both channels:
//   "Converting x.wav: the Java applet plays only its first channel (left),
//    which is silent; the sound is in channel 2 (right). Browsers without
//    Java get all of it. For the applet, move the sound into the first
//    channel or mix it down to mono."
// ("which is 27 dB quieter than channel 3" when not silent; "(left)" and
// "(right)" only for stereo.)
// Ok otherwise, for mono sounds, and for files that cannot be decoded (their
// own check says why). Decodes the whole file; cancel is checked after
// every block.
Status CheckFirstChannel(const std::string& path, const ConversionControl& control = {});

}  // namespace sonavelt::audio
