#include "audio/sound_decoder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "audio/sound_names.h"
#include "audio/sound_checks.h"
#include "audio/wave_converter.h"
#include "base/byte_order.h"
#include "tests/audio/sound_tools.h"
#include "tests/audio/shown_status.h"
#include "tests/support/wave_bytes.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::audio {
namespace {

class SoundDecoderTest : public ::testing::Test {
 protected:
  // A 16-bit stereo 44100 Hz WAVE file the WAVE reader converts: a chord
  // with noise, so every bit of the samples matters, and the channels
  // differ so that taking the wrong one shows.
  std::string Reference() {
    std::string path = dir_.File("ref.wav");
    EXPECT_TRUE(testing::Shell("sox -n -r 44100 -c 2 -b 16 '" + path +
                               "' synth 1.3 sine 440 sine 660 synth 1.3 whitenoise amod 10 "
                               "remix 1 2 vol 0.7"));
    return path;
  }
  std::string Au(const std::string& source, const std::string& name) {
    std::string out = dir_.File(name);
    EXPECT_EQ(testing::Shown(ui_, ConvertWaveFile(source, out, {})), ConversionOutcome::kConverted)
        << source;
    return testing::ReadFile(out);
  }

  testing::TempDir dir_;
  testing::RecordingUserInterface ui_;
};

// Where two files' bytes first differ (npos: nowhere), for a short message.
size_t FirstDifference(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return i;
  return a.size() == b.size() ? std::string::npos : n;
}

// A 16-bit WAVE file whose format chunk uses the extensible tag (0xFFFE),
// which the WAVE reader refuses; its samples are the reference's.
std::string ExtensibleCopy(const std::string& wave_bytes) {
  // The reference's chunks as sox writes them: "fmt " (16) then "data".
  const size_t data_at = wave_bytes.find("data");
  std::string data = wave_bytes.substr(data_at + 8);
  std::string extra;
  AppendLe16(extra, 22);          // cbSize
  AppendLe16(extra, 16);          // valid bits
  AppendLe32(extra, 3);           // front left, front right
  AppendLe32(extra, 1);           // KSDATAFORMAT_SUBTYPE_PCM ...
  extra += std::string("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);
  return testing::Riff(testing::Chunk("fmt ", testing::FmtBody(2, 44100, 16, 0xFFFE, extra)) +
                       testing::Chunk("data", data));
}

TEST_F(SoundDecoderTest, LosslessFormatsGiveTheWaveReadersAuByteForByte) {
  SONAVELT_REQUIRE_TOOL("sox");
  const std::string ref = Reference();
  ASSERT_FALSE(NeedsDecoder(ref));
  const std::string expected = Au(ref, "ref.au");
  ASSERT_GT(expected.size(), 34u + 10000u);

  struct Case {
    std::string name;
    std::string sox_options;
  } cases[] = {
      {"w24.wav", "-b 24"},
      {"w32.wav", "-b 32"},
      {"float.wav", "-e floating-point -b 32"},
      {"s.flac", ""},
      {"s.aiff", ""},
      {"s.AIF", "-t aiff"},
  };
  for (const Case& c : cases) {
    const std::string path = dir_.File(c.name);
    ASSERT_TRUE(testing::Shell("sox '" + ref + "' " + c.sox_options + " '" + path + "'")) << c.name;
    EXPECT_TRUE(NeedsDecoder(path)) << c.name;
    EXPECT_EQ(FirstDifference(Au(path, c.name + ".au"), expected), std::string::npos) << c.name;
  }
  const std::string extensible = dir_.File("ext.wav");
  testing::WriteFile(extensible, ExtensibleCopy(testing::ReadFile(ref)));
  EXPECT_TRUE(NeedsDecoder(extensible));
  EXPECT_EQ(FirstDifference(Au(extensible, "ext.au"), expected), std::string::npos);
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_F(SoundDecoderTest, LossyFormatsKeepLengthAndPitch) {
  SONAVELT_REQUIRE_TOOL("ffmpeg");
  struct Case {
    std::string name;
    std::string codec;
    int rate;
  } cases[] = {{"s.mp3", "libmp3lame", 44100}, {"s.ogg", "libvorbis", 44100},
               {"s.opus", "libopus", 48000}, {"s.oga", "libvorbis", 22050}};
  for (const Case& c : cases) {
    const std::string path = dir_.File(c.name);
    ASSERT_TRUE(testing::Shell("ffmpeg -v error -f lavfi -i sine=frequency=440:duration=2 -ac 2 -ar " +
                               std::to_string(c.rate) + " -c:a " + c.codec + " -y '" + path + "'"))
        << c.name;
    const std::vector<float> samples = testing::AuSamples(Au(path, c.name + ".au"));
    // Two seconds at 8000 Hz; encoders may add up to a frame of padding.
    EXPECT_NEAR(static_cast<double>(samples.size()), 16000.0, 800.0) << c.name;
    EXPECT_NEAR(testing::CrossingRate(samples, 8000), 440.0, 10.0) << c.name;
  }
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_F(SoundDecoderTest, UndecodableFilesAreRefusedNamingThem) {
  SONAVELT_REQUIRE_TOOL("sox");
  std::string noise(6000, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919) >> 3);
  const std::string garbage = dir_.File("garbage.mp3");
  testing::WriteFile(garbage, noise);
  const std::string flac = dir_.File("whole.flac");
  ASSERT_TRUE(testing::Shell("sox -n -r 44100 '" + flac + "' synth 1 sine 440"));
  const std::string cut = dir_.File("cut.flac");
  testing::WriteFile(cut, testing::ReadFile(flac).substr(0, 100));
  const std::string empty = dir_.File("empty.ogg");
  testing::WriteFile(empty, "");
  // A float WAVE whose data chunk says more than the file holds.
  const std::string broken = dir_.File("broken.wav");
  testing::WriteFile(broken, testing::Riff(testing::Chunk("fmt ", testing::FmtBody(1, 8000, 32, 3)) +
                                           testing::Chunk("data", "", 4000)));

  for (const std::string& path : {garbage, cut, empty, broken}) {
    SCOPED_TRACE(path);
    ui_.calls.clear();
    WaveCheckState state{true, 0};
    EXPECT_FALSE(testing::Shown(ui_, CheckSoundFile(path, state, ui_)));
    ASSERT_EQ(ui_.Messages().size(), 1u);
    EXPECT_EQ(ui_.Messages()[0].rfind(path, 0), 0u) << ui_.Messages()[0];
    EXPECT_TRUE(ui_.Questions().empty());

    ui_.calls.clear();
    const std::string out = dir_.File("out.au");
    EXPECT_NE(testing::Shown(ui_, ConvertWaveFile(path, out, {})), ConversionOutcome::kConverted);
    ASSERT_EQ(ui_.Messages().size(), 1u);
    EXPECT_NE(ui_.Messages()[0].find(path), std::string::npos) << ui_.Messages()[0];
    EXPECT_FALSE(std::filesystem::exists(out));
  }
  // The garbage file's message says what is wrong in words, not libsndfile's
  // "not a regular file".
  ui_.calls.clear();
  WaveCheckState state;
  testing::Shown(ui_, CheckSoundFile(garbage, state, ui_));
  EXPECT_EQ(ui_.Messages().at(0), garbage +
                                      " cannot be decoded: its contents are not in a sound format "
                                      "Sonavelt can read.\r\nPlease select another audio file.");
}

TEST_F(SoundDecoderTest, ChecksAskTheFormatQuestionAndRaiseTheFrameCount) {
  SONAVELT_REQUIRE_TOOL("sox");
  const std::string path = dir_.File("Tune.FLAC");
  ASSERT_TRUE(testing::Shell("sox -n -r 48000 -c 2 -b 24 '" + path + "' synth 0.5 sine 300"));
  ui_.answers = {false, true};
  WaveCheckState state{true, 100};
  EXPECT_FALSE(testing::Shown(ui_, CheckSoundFile(path, state, ui_)));  // the user said No
  EXPECT_TRUE(ui_.Messages().empty());
  ASSERT_EQ(ui_.Questions().size(), 1u);
  EXPECT_NE(ui_.Questions()[0].find("\r\nis an 48000 hz  24 bit  stereo  sound file."),
            std::string::npos);
  EXPECT_TRUE(testing::Shown(ui_, CheckSoundFile(path, state, ui_)));
  EXPECT_EQ(state.max_wave_frames, 24000);

  // Not preparing a run (the Play button): no question.
  ui_.calls.clear();
  WaveCheckState play;
  EXPECT_TRUE(testing::Shown(ui_, CheckSoundFile(path, play, ui_)));
  EXPECT_TRUE(ui_.calls.empty());
}

TEST(DecodedSoundNamesTest, DecodedFormatsAreKnownByTheirEnding) {
  for (const char* path : {"a/b.mp3", "B.FLAC", "x.ogg", "x.Oga", "y.opus", "z.aif", "z.AIFF",
                           "z.aifc", "my.audio/song.mp3"}) {
    EXPECT_TRUE(IsDecodedSoundPath(path)) << path;
    EXPECT_TRUE(HasSoundExtension(path)) << path;
  }
  for (const char* path : {"a.mp3.bak", "mp3", ".mp3", "dir.flac/readme", "x.wav"})
    EXPECT_FALSE(IsDecodedSoundPath(path)) << path;
  EXPECT_FALSE(HasSoundExtension("a.mp3.bak"));

  // Converted, never used as they are, even below a folder named ".au...".
  EXPECT_FALSE(IsUsedAsIs("/home/alice/my.audio/loop.opus"));
  EXPECT_EQ(PlacedNameOf("/home/alice/Song.MP3"), "Song.au");
  EXPECT_EQ(PlacedNameOf("/home/alice/my.audio/loop.opus"), "loop.au");
  EXPECT_EQ(PlacedNameOf("/home/alice/x.wav.flac"), "x.au");
  EXPECT_EQ(PlacedNameOf("/home/alice/Bell.WAV"), "Bell.au");
}

}  // namespace
}  // namespace sonavelt::audio
