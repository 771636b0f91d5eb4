#include "audio/browser_copy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>

#include "audio/sound_decoder.h"
#include "tests/audio/sound_tools.h"
#include "tests/support/temp_dir.h"

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
  std::string error;
  std::optional<SoundDecoder> decoder = SoundDecoder::Open(path, &error);
  EXPECT_TRUE(decoder) << error;
  if (!decoder) return out;
  out.channels = decoder->channels();
  out.rate = decoder->sample_rate();
  std::vector<float> block(1024 * static_cast<size_t>(out.channels));
  for (int64_t got; (got = decoder->Read(block.data(), 1024)) > 0;) {
    for (int64_t i = 0; i < got; ++i) {
      out.first.push_back(block[i * out.channels]);
      if (out.channels > 1) out.second.push_back(block[i * out.channels + 1]);
    }
  }
  return out;
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
      // Six channels: a stereo copy of the first two.
      {"six.wav", "-r 32000 -c 6 -b 16|synth 1 sine 1000 sine 500 sine 50 sine 50 sine 50 sine 50",
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

}  // namespace
}  // namespace sonavelt::audio
