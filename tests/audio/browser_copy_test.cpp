#include "audio/browser_copy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <opus/opusfile.h>

#include <atomic>
#include <cmath>
#include <filesystem>

#include "audio/sound_decoder.h"
#include "audio/wave_converter.h"
#include <sndfile.h>
#include "tests/audio/sound_tools.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_bytes.h"

namespace sonavelt::audio {
namespace {

// The first channel of a whole file, decoded back through libsndfile.
struct Decoded {
  int channels = 0;
  int rate = 0;
  std::vector<float> first;
  std::vector<float> second;
};
Decoded DecodeAll(const std::string& path) {
  Decoded out;
  std::optional<SoundDecoder> decoder;
  const Status opened = SoundDecoder::Open(path, &decoder);
  EXPECT_TRUE(opened.ok()) << opened.message();
  if (!decoder) return out;
  out.channels = decoder->channels();
  out.rate = decoder->sample_rate();
  std::vector<float> block(1024 * static_cast<size_t>(out.channels));
  for (int64_t got = 0; decoder->Read(block.data(), 1024, &got).ok() && got > 0;) {
    for (int64_t i = 0; i < got; ++i) {
      out.first.push_back(block[i * out.channels]);
      if (out.channels > 1) out.second.push_back(block[i * out.channels + 1]);
    }
  }
  return out;
}


// A whole copy decoded by libopusfile, which honours the pre-skip and the
// final granule position as browsers do: interleaved, at 48000 Hz.
struct Played {
  int channels = 0;
  std::vector<float> samples;
  int64_t frames() const { return channels ? static_cast<int64_t>(samples.size()) / channels : 0; }
  float at(int64_t frame, int channel) const {
    return samples[static_cast<size_t>(frame * channels + channel)];
  }
};
Played PlayCopy(const std::string& path) {
  Played out;
  int error = 0;
  OggOpusFile* file = op_open_file(path.c_str(), &error);
  EXPECT_TRUE(file) << "opusfile error " << error;
  if (!file) return out;
  out.channels = op_channel_count(file, -1);
  std::vector<float> block(5760 * 2);
  for (int got; (got = op_read_float(file, block.data(), static_cast<int>(block.size()), nullptr)) > 0;)
    out.samples.insert(out.samples.end(), block.begin(), block.begin() + got * out.channels);
  op_free(file);
  return out;
}

// Per channel: the largest step between neighbouring samples inside the
// sound, and the step from its last sample to its first (where a loop
// joins).
struct Steps {
  double inside = 0;
  double seam = 0;
};
std::vector<Steps> StepsOf(const Played& p) {
  std::vector<Steps> all(static_cast<size_t>(p.channels));
  for (int c = 0; c < p.channels; ++c) {
    Steps& steps = all[static_cast<size_t>(c)];
    for (int64_t i = 1; i < p.frames(); ++i)
      steps.inside = std::max(steps.inside, std::fabs(double{p.at(i, c)} - p.at(i - 1, c)));
    steps.seam = std::fabs(double{p.at(0, c)} - p.at(p.frames() - 1, c));
  }
  return all;
}

// Mean power of one channel, in dB.
double PowerDb(const std::vector<float>& interleaved, int channels, int channel) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = static_cast<size_t>(channel); i < interleaved.size(); i += static_cast<size_t>(channels), ++n)
    sum += double{interleaved[i]} * interleaved[i];
  return 10 * std::log10(sum / std::max<size_t>(n, 1) + 1e-20);
}
double TotalPowerDb(const std::vector<float>& interleaved, int channels, const std::vector<int>& skip = {}) {
  double total = 0;
  for (int c = 0; c < channels; ++c) {
    if (std::find(skip.begin(), skip.end(), c) != skip.end()) continue;
    total += std::pow(10.0, PowerDb(interleaved, channels, c) / 10);
  }
  return 10 * std::log10(total + 1e-20);
}

// One second of sound that repeats without a seam: whole periods of a
// tone, or a "music" loop of harmonics under a swelling, cycling envelope
// with a touch of noise made periodic, at `rate` with the same in every
// channel but scaled per channel by `gains`.
std::string LoopWave(int rate, bool music, const std::vector<double>& gains) {
  const int frames = rate;  // one second: integer frequencies repeat exactly
  std::vector<double> noise(static_cast<size_t>(frames));
  uint32_t seed = 12345;
  for (double& v : noise) {
    seed = seed * 1664525u + 1013904223u;
    v = (static_cast<double>(seed >> 8) / (1 << 24)) - 0.5;
  }
  // Smoothed around the circle, so the noise itself has no seam.
  std::vector<double> smooth(noise.size());
  for (int i = 0; i < frames; ++i)
    for (int k = -8; k <= 8; ++k) smooth[static_cast<size_t>(i)] += noise[static_cast<size_t>((i + k + frames) % frames)] / 17;
  std::vector<int16_t> samples;
  const double pi = std::acos(-1.0);
  for (int i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    double v;
    if (!music) {
      v = 0.5 * std::sin(2 * pi * 440 * t);
    } else {
      const double swell = 0.6 + 0.4 * std::sin(2 * pi * 4 * t);  // four notes a second
      v = swell * (0.25 * std::sin(2 * pi * 220 * t) + 0.15 * std::sin(2 * pi * 330 * t + 1) +
                   0.1 * std::sin(2 * pi * 554 * t + 2) + 0.05 * std::sin(2 * pi * 1761 * t)) +
          0.3 * smooth[static_cast<size_t>(i)];
    }
    for (double g : gains) samples.push_back(static_cast<int16_t>(std::lround(v * g * 32767)));
  }
  return testing::Wave(static_cast<int>(gains.size()), rate, 16, testing::Pcm16(samples));
}

class BrowserCopyTest : public ::testing::Test {
 protected:
  // options: the output format, then "|" and the synth effects.
  std::string Sox(const std::string& name, const std::string& options) {
    std::string path = dir_.File(name);
    const size_t bar = options.find('|');
    EXPECT_TRUE(testing::Shell("sox -n " + options.substr(0, bar) + " '" + path + "' " +
                               options.substr(bar + 1)))
        << options;
    return path;
  }
  testing::TempDir dir_;
};

TEST_F(BrowserCopyTest, RoundTripKeepsExactLengthPitchAndChannels) {
  SONAVELT_REQUIRE_TOOL("sox");
  struct Case {
    std::string name;
    std::string sox;
    int64_t frames;  // at 48000 Hz
    int channels;
  } cases[] = {
      // 1.5 s from 44100 Hz: 66150 frames become 72000.
      {"mono.wav", "-r 44100 -c 1 -b 16|synth 1.5 sine 1000 vol 0.5", 72000, 1},
      {"stereo24.wav", "-r 22050 -c 2 -b 24|synth 1.5 sine 1000 sine 500 vol 0.5", 72000, 2},
      // Already at 48000 Hz: no resampling, the very same frame count.
      {"at48.flac", "-r 48000 -c 1|synth 12345s sine 1000 vol 0.5", 12345, 1},
      {"eight.au", "-r 8000 -c 1 -e mu-law|synth 1 sine 1000", 48000, 1},
      // Six channels, sound in the front pair only: a stereo copy of it.
      {"six.wav", "-r 32000 -c 6 -b 16|synth 1 sine 1000 sine 500 sine 50 sine 50 sine 50 sine 50 remix 1 2 0 0 0 0",
       48000, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = Sox(c.name, c.sox);
    const std::string copy = dir_.File(c.name + ".opus");
    BrowserCopyInfo info;
    Status status = MakeBrowserCopy(source, copy, {}, &info);
    ASSERT_TRUE(status.ok()) << status.message();
    // The recorded length is exact: 48000 Hz frames of the source's length.
    EXPECT_NEAR(static_cast<double>(info.frames), static_cast<double>(c.frames), 1.0);
    EXPECT_EQ(info.channels, c.channels);

    const Decoded back = DecodeAll(copy);
    EXPECT_EQ(back.rate, 48000);
    EXPECT_EQ(back.channels, c.channels);
    // Gapless: the decoder gives back exactly the recorded frames.
    EXPECT_EQ(static_cast<int64_t>(back.first.size()), info.frames);
    EXPECT_GT(testing::ToneShare(back.first, 48000, 1000.0), 0.9);
    if (c.channels == 2) {
      // The channels stay apart and in order.
      EXPECT_GT(testing::ToneShare(back.second, 48000, 500.0), 0.8);
      EXPECT_LT(testing::ToneShare(back.second, 48000, 1000.0), 0.05);
    }
  }
}

// The conversion decodes once for both files: the samples it hands over
// are exactly those the copy's own decoding reads, and the .au stays the
// same byte for byte, for the WAVE reader's sample layouts and the
// decoder's formats alike.
TEST_F(BrowserCopyTest, TheConversionFeedsTheCopyTheSameSamples) {
  SONAVELT_REQUIRE_TOOL("sox");
  struct Case {
    const char* name;
    const char* sox;
    bool loop;
  } cases[] = {
      {"pcm16.wav", "-r 44100 -c 2 -b 16|synth 2.5 pinknoise vol 0.4", false},
      {"pcm8.wav", "-r 22050 -c 1 -b 8|synth 1.5 sine 300-3000 vol 0.7", true},
      {"pcm24.wav", "-r 48000 -c 2 -b 24|synth 1 sine 440 sine 660", false},
      {"wide.flac", "-r 32000 -c 2|synth 2 pinknoise vol 0.5", true},
      {"six.wav", "-r 44100 -c 6 -b 16|synth 1 sine 100 sine 200 sine 300 sine 400 sine 500 sine 600",
       false},
      {"coded.au", "-r 11025 -c 1 -e mu-law|synth 1 sine 700", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = Sox(c.name, c.sox);
    BrowserCopyOptions options;
    options.loop = c.loop;
    ASSERT_EQ(ConvertWaveFile(source, dir_.File("alone.au"), {}).outcome,
              ConversionOutcome::kConverted);
    CopySampleCollector collector(source);
    ConversionControl control;
    control.decoded = &collector;
    ASSERT_EQ(ConvertWaveFile(source, dir_.File("fed.au"), control).outcome,
              ConversionOutcome::kConverted);
    EXPECT_EQ(testing::ReadFile(dir_.File("fed.au")), testing::ReadFile(dir_.File("alone.au")));

    CopySamples fed;
    ASSERT_TRUE(collector.Finish({}, &fed, options).ok());
    CopySamples read;
    ASSERT_TRUE(ReadCopySamples(source, {}, &read, options).ok());
    EXPECT_EQ(fed.channels, read.channels);
    EXPECT_EQ(fed.source_rate, read.source_rate);
    ASSERT_EQ(fed.samples.size(), read.samples.size());
    EXPECT_TRUE(fed.samples == read.samples);
  }
}

TEST_F(BrowserCopyTest, TheSameSoundGivesTheSameBytes) {
  SONAVELT_REQUIRE_TOOL("sox");
  const std::string source = Sox("same.wav", "-r 44100 -c 2 -b 16|synth 3 pinknoise vol 0.3");
  BrowserCopyInfo info;
  ASSERT_TRUE(MakeBrowserCopy(source, dir_.File("one.opus"), {}, &info).ok());
  ASSERT_TRUE(MakeBrowserCopy(source, dir_.File("two.opus"), {}, &info).ok());
  EXPECT_TRUE(testing::ReadFile(dir_.File("one.opus")) == testing::ReadFile(dir_.File("two.opus")));
  // Still a valid stream (the page checksums were made again).
  EXPECT_EQ(static_cast<int64_t>(DecodeAll(dir_.File("two.opus")).first.size()), info.frames);
  EXPECT_TRUE(testing::Shell("opusinfo '" + dir_.File("two.opus") + "'") || !testing::HasTool("opusinfo"));
}

TEST_F(BrowserCopyTest, FullBandwidthAtASmallBitrate) {
  SONAVELT_REQUIRE_TOOL("sox");
  // A 15 kHz tone: far above what the 8000 Hz .au can carry.
  const std::string source = Sox("high.wav", "-r 44100 -c 1 -b 16|synth 10 sine 15000 vol 0.5");
  const std::string copy = dir_.File("high.opus");
  BrowserCopyInfo info;
  ASSERT_TRUE(MakeBrowserCopy(source, copy, {}, &info).ok());
  EXPECT_GT(testing::ToneShare(DecodeAll(copy).first, 48000, 15000.0), 0.5);
  // About 32 kbit/s: 40 KB for ten seconds, against 80 KB of .au.
  const auto size = std::filesystem::file_size(copy);
  EXPECT_GT(size, 20000u);
  EXPECT_LT(size, 60000u);
}

TEST_F(BrowserCopyTest, FailuresNameTheFileAndLeaveNothing) {
  SONAVELT_REQUIRE_TOOL("sox");
  BrowserCopyInfo info;
  const std::string garbage = dir_.File("garbage.mp3");
  testing::WriteFile(garbage, std::string(5000, '\x55'));
  const std::string copy = dir_.File("g.opus");
  Status status = MakeBrowserCopy(garbage, copy, {}, &info);
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(status.message().rfind("reading " + garbage + ": ", 0), 0u) << status.message();

  const std::string source = Sox("ok.wav", "-r 44100 -c 1 -b 16|synth 2 sine 440");
  const std::string locked = dir_.File("locked");
  std::filesystem::create_directory(locked);
  ::chmod(locked.c_str(), 0500);
  const std::string unwritable = locked + "/x.opus";
  status = MakeBrowserCopy(source, unwritable, {}, &info);
  if (::geteuid() != 0) {
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.message().rfind("writing " + unwritable + ": ", 0), 0u) << status.message();
  }
  ::chmod(locked.c_str(), 0700);

  // A cancel stops after the next block and keeps an earlier copy.
  testing::WriteFile(copy, "earlier");
  std::atomic<bool> cancel{true};
  ConversionControl control;
  control.cancel_requested = &cancel;
  status = MakeBrowserCopy(source, copy, control, &info);
  EXPECT_EQ(status.code(), Status::Code::kCancelled);
  EXPECT_EQ(testing::ReadFile(copy), "earlier");
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
    EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
}

TEST_F(BrowserCopyTest, ALoopIsContinuousWhereItsEndMeetsItsStart) {
  struct Case {
    const char* name;
    int rate;
    bool music;
    std::vector<double> gains;  // one per channel
  } cases[] = {
      {"tone mono 44.1", 44100, false, {1.0}},
      {"tone stereo 48", 48000, false, {1.0, 1.0}},
      {"music stereo 44.1", 44100, true, {1.0, 1.0}},
      {"music mono 48", 48000, true, {1.0}},
      // A quieter channel has the coarser coding: its seam shows first.
      {"tone stereo 44.1, right quieter", 44100, false, {1.0, 0.5}},
      {"music stereo 22.05, left quieter", 22050, true, {0.4, 1.0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = dir_.File("loop.wav");
    testing::WriteFile(source, LoopWave(c.rate, c.music, c.gains));
    BrowserCopyOptions loop;
    loop.loop = true;
    BrowserCopyInfo info;
    ASSERT_TRUE(MakeBrowserCopy(source, dir_.File("loop.opus"), {}, &info, loop).ok());
    const Played played = PlayCopy(dir_.File("loop.opus"));
    ASSERT_EQ(played.frames(), 48000);
    EXPECT_EQ(info.frames, 48000);
    EXPECT_EQ(played.channels, static_cast<int>(c.gains.size()));
    for (const Steps& steps : StepsOf(played))
      EXPECT_LE(steps.seam, steps.inside) << "seam " << steps.seam << " inside " << steps.inside;
    // The start is where the sound starts: the tone's first sample is 0.
    if (!c.music) EXPECT_LT(std::fabs(played.at(0, 0)), 0.05);
  }
}

TEST_F(BrowserCopyTest, SoundsThatPlayOnceEndWhole) {
  // A steady tone to the very last sample: a damaged tail shows as samples
  // far from the tone's amplitude in the last few milliseconds.
  for (int rate : {44100, 48000}) {
    SCOPED_TRACE(rate);
    const std::string source = dir_.File("once.wav");
    testing::WriteFile(source, LoopWave(rate, false, {1.0, 1.0}));
    BrowserCopyInfo info;
    ASSERT_TRUE(MakeBrowserCopy(source, dir_.File("once.opus"), {}, &info).ok());
    const Played played = PlayCopy(dir_.File("once.opus"));
    ASSERT_EQ(played.frames(), 48000);
    const double pi = std::acos(-1.0);
    double worst = 0;
    for (int64_t i = 48000 - 480; i < 48000 - 30; ++i)
      worst = std::max(worst, std::fabs(played.at(i, 0) - 0.5 * std::sin(2 * pi * 440 * i / 48000.0)));
    EXPECT_LT(worst, 0.05);
  }
}

TEST_F(BrowserCopyTest, CopiesKeepTheSoundOfEveryChannel) {
  // Sound in one channel only; the copy's loudness (all its channels) is
  // compared with the source's (all but the LFE).
  struct Case {
    const char* name;
    int channels;
    int loud;         // the one channel with sound
    int copy_channels;
    int copy_side;    // -1: both sides of the copy; else the side that sounds
  } cases[] = {
      {"stereo right", 2, 1, 2, 1},   {"5.1 centre", 6, 2, 2, -1},  {"5.1 left surround", 6, 4, 2, 0},
      {"5.1 right front", 6, 1, 2, 1}, {"7.1 right side", 8, 7, 2, 1}, {"7.1 centre", 8, 2, 2, -1},
      {"mono", 1, 0, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> gains(static_cast<size_t>(c.channels), 0.0);
    gains[static_cast<size_t>(c.loud)] = 1.0;
    const std::string source = dir_.File("one.wav");
    testing::WriteFile(source, LoopWave(44100, true, gains));
    ASSERT_TRUE(MakeBrowserCopy(source, dir_.File("one.opus"), {}, nullptr).ok());
    const Played played = PlayCopy(dir_.File("one.opus"));
    ASSERT_EQ(played.channels, c.copy_channels);
    std::optional<SoundDecoder> decoder;
    ASSERT_TRUE(SoundDecoder::Open(source, &decoder).ok());
    std::vector<float> all(static_cast<size_t>(decoder->frame_count() * c.channels));
    int64_t got = 0;
    ASSERT_TRUE(decoder->Read(all.data(), decoder->frame_count(), &got).ok());
    ASSERT_EQ(got, decoder->frame_count());
    const double source_db = TotalPowerDb(all, c.channels, c.channels >= 6 ? std::vector<int>{3} : std::vector<int>{});
    const double copy_db = TotalPowerDb(played.samples, played.channels);
    EXPECT_NEAR(copy_db, source_db, 3.5);
    if (c.copy_side >= 0 && c.copy_channels == 2)
      EXPECT_LT(PowerDb(played.samples, 2, 1 - c.copy_side), copy_db - 30) << "sound stays on its side";
    if (c.copy_side < 0)
      EXPECT_NEAR(PowerDb(played.samples, 2, 0), PowerDb(played.samples, 2, 1), 1.0);
  }
}

TEST_F(BrowserCopyTest, AFirstChannelWithoutTheSoundIsNamed) {
  struct Case {
    const char* name;
    std::vector<double> gains;
    const char* says;  // empty: no warning
  } cases[] = {
      {"mono", {1.0}, ""},
      {"both sides", {1.0, 0.8}, ""},
      {"right only", {0.0, 1.0}, "first channel (left), which is silent; the sound is in channel 2 (right)."},
      {"left far quieter", {0.03, 1.0}, "first channel (left), which is 30 dB quieter than channel 2 (right)."},
      {"left a little quieter", {0.2, 1.0}, ""},
      {"5.1 centre", {0, 0, 1, 0, 0, 0}, "first channel, which is silent; the sound is in channel 3."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = dir_.File("first.wav");
    testing::WriteFile(source, LoopWave(44100, true, c.gains));
    const Status status = CheckFirstChannel(source);
    if (std::string(c.says).empty()) {
      EXPECT_TRUE(status.ok()) << status.message();
      continue;
    }
    EXPECT_EQ(status.box(), BoxStyle::kPlain);
    EXPECT_EQ(status.message().rfind("Converting " + source + ": the Java applet plays only its ", 0), 0u)
        << status.message();
    EXPECT_NE(status.message().find(c.says), std::string::npos) << status.message();
  }
}

TEST(DownmixWeightsTest, StandardWeightsByLayout) {
  const float g = 0.70710678f;
  // WAVE 5.1 (L R C LFE BL BR): left row, then right row.
  std::vector<float> wave51 = DownmixWeights(6, {}, false);
  std::vector<float> expected = {1, 0, g, 0, g, 0, 0, 1, g, 0, 0, g};
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(wave51[i], expected[i], 1e-6) << i;
  // Ogg 5.1 (L C R BL BR LFE).
  std::vector<float> ogg51 = DownmixWeights(6, {}, true);
  expected = {1, g, 0, g, 0, 0, 0, g, 1, 0, g, 0};
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(ogg51[i], expected[i], 1e-6) << i;
  // A stated layout wins over the usual order.
  std::vector<float> stated = DownmixWeights(
      3, {SF_CHANNEL_MAP_LFE, SF_CHANNEL_MAP_FRONT_RIGHT, SF_CHANNEL_MAP_FRONT_LEFT}, false);
  expected = {0, 0, 1, 0, 1, 0};
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(stated[i], expected[i], 1e-6) << i;
}

}  // namespace
}  // namespace sonavelt::audio
