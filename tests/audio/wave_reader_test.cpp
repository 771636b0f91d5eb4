#include "audio/wave_reader.h"

#include <gtest/gtest.h>

#include "tests/audio/shown_status.h"
#include "tests/support/wave_bytes.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/reference_audio.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::audio {
namespace {

using testing::Chunk;
using testing::FmtBody;
using testing::Riff;
using testing::Wave;

class WaveReaderTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes, const std::string& name = "s.wav") {
    std::string path = dir_.File(name);
    testing::WriteFile(path, bytes);
    return path;
  }
  bool Check(const std::string& path, bool preparing = true) {
    state_.preparing_run = preparing;
    return testing::Shown(ui_, CheckWaveFile(path, ui_, state_, &format_));
  }

  testing::TempDir dir_;
  testing::RecordingUserInterface ui_;
  WaveCheckState state_;
  SoundFormat format_;
};

TEST_F(WaveReaderTest, QuestionNamesRateBitsAndChannelsInOrder) {
  std::string path = Write(Wave(2, 44100, 16, std::string(400, '\0')));
  ASSERT_TRUE(Check(path));
  ASSERT_EQ(ui_.Questions().size(), 1u);
  EXPECT_EQ(ui_.calls[0].style, BoxStyle::kSystemModal);
  EXPECT_EQ(ui_.Questions()[0],
            path + "\r\nis an 44100 hz  16 bit  stereo  sound file.\r\n\r\n"
                   "Java API can only handle one sound format:\r\n\r\n"
                   " \"8000 hz, 8 bit, uLaw, mono, Sun, .au\"\r\n\r\n"
                   "Sonavelt will change your sound file's format from 44100 hz  16 bit  stereo  "
                   "\r\nto 8000 hz  8 bit  mono  while converting it to .au file.\r\n\r\n"
                   "The sound quality will be changed as a result. \r\n\r\n"
                   "Do you want Sonavelt to go ahead and change the sound format?");
  EXPECT_EQ(format_.frame_count, 100);
  EXPECT_EQ(state_.max_wave_frames, 100);
}

TEST_F(WaveReaderTest, QuestionOnlyForWhatChangesAndOnlyWhilePreparing) {
  // 16-bit mono above 15000 Hz: rate and bits, no channel piece.
  std::string mono16 = Write(Wave(1, 22050, 16, std::string(300, '\0')), "a.wav");
  ASSERT_TRUE(Check(mono16));
  ASSERT_EQ(ui_.Questions().size(), 1u);
  EXPECT_NE(ui_.Questions()[0].find("is an 22050 hz  16 bit  sound file."), std::string::npos);
  EXPECT_EQ(format_.frame_count, 150);

  // 8-bit mono at or below 15000 Hz (and at 8000 Hz): nothing to ask.
  ui_.calls.clear();
  EXPECT_TRUE(Check(Write(Wave(1, 15000, 8, std::string(77, '\x80')), "b.wav")));
  EXPECT_EQ(format_.frame_count, 77);
  EXPECT_TRUE(Check(Write(Wave(1, 8000, 8, std::string(10, '\x80')), "c.wav")));
  // Play (not preparing): no question even for a file that would get one.
  EXPECT_TRUE(Check(mono16, /*preparing=*/false));
  EXPECT_TRUE(ui_.calls.empty());
  EXPECT_EQ(state_.max_wave_frames, 150);  // raised only, never lowered
}

TEST_F(WaveReaderTest, AnswerNoRefusesWithoutFurtherMessageAndKeepsMaxFrames) {
  ui_.answers.push_back(false);
  EXPECT_FALSE(Check(Write(Wave(2, 44100, 16, std::string(4000, '\0')))));
  EXPECT_EQ(ui_.calls.size(), 1u);
  EXPECT_EQ(state_.max_wave_frames, 0);
}

TEST_F(WaveReaderTest, ExtraFormatBytesAndUnknownChunksAreSkipped) {
  std::string chunks = Chunk("fmt ", FmtBody(1, 8000, 8, 1, std::string("\0\0", 2))) +
                       Chunk("LIST", "INFOabc") +  // odd size: followed by a pad byte
                       Chunk("fact", std::string(4, '\x01')) + Chunk("data", "\x10\x80\xFF");
  std::string path = Write(Riff(chunks));
  ASSERT_TRUE(Check(path));
  EXPECT_EQ(format_.frame_count, 3);
  auto decoded = testing::ReadWaveSamples(path, ui_);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->samples, (std::vector<int32_t>{(0x10 - 128) * 256, 0, 32512}));
}

TEST_F(WaveReaderTest, DecodesFirstChannelOfEachFrame) {
  // 8-bit edge values.
  auto eight = testing::ReadWaveSamples(Write(Wave(1, 8000, 8, std::string("\x80\x00\xFF", 3)), "8.wav"), ui_);
  ASSERT_TRUE(eight);
  EXPECT_EQ(eight->samples, (std::vector<int32_t>{0, -32768, 32512}));
  // 16-bit stereo: the left channel, sign-extended; 0xFFFF is -1.
  auto stereo = testing::ReadWaveSamples(
      Write(Wave(2, 44100, 16, testing::Pcm16({-1, 5, 32767, -7, -32768, 9})), "16.wav"), ui_);
  ASSERT_TRUE(stereo);
  EXPECT_EQ(stereo->format.frame_count, 3);
  EXPECT_EQ(stereo->samples, (std::vector<int32_t>{-1, 32767, -32768}));
  // A trailing partial frame is not a frame.
  auto partial = testing::ReadWaveSamples(Write(Wave(2, 8000, 16, std::string(7, '\0')), "p.wav"), ui_);
  ASSERT_TRUE(partial);
  EXPECT_EQ(partial->samples.size(), 1u);
  EXPECT_TRUE(ui_.calls.empty());
}

// Each broken file: the check's system-modal text, and the decoder's short plain one.
struct Broken {
  const char* name;
  std::string bytes;
  std::string check_text;   // after the path, or the whole text when it starts with '*'
  std::string decode_text;
};

TEST_F(WaveReaderTest, BrokenFilesAreRefusedWithTheirMessages) {
  const std::string s =
      "\r\nJava API cannot handle this sound format.\r\nPlease select another sound file.";
  const std::string corrupt = ".\r\nIt's a corrupted sound file. Please select another sound file.";
  std::string fmt = Chunk("fmt ", FmtBody(1, 8000, 8));
  std::vector<Broken> cases = {
      {"short", "RI", " is not a RIFF file." + s, " is not a RIFF file"},
      {"riff", "RIFX" + std::string(40, '\0'), " is not a RIFF file." + s, " is not a RIFF file"},
      {"wave", Riff("").replace(8, 4, "AVI "), " is not a WAVE file." + s, " is not a WAVE file"},
      {"adpcm", Riff(Chunk("fmt ", FmtBody(1, 8000, 4, 2)) + Chunk("data", "ab")), "*enc", "*enc"},
      {"4ch", Riff(Chunk("fmt ", FmtBody(4, 8000, 8)) + Chunk("data", "abcd")),
       " has 4 channels.\r\nOnly 1 and 2 channel files are implemented!\r\nPlease select another sound file.",
       " has 4 channels.\r\nOnly 1 and 2 channel files are implemented!"},
      {"0ch", Riff(Chunk("fmt ", FmtBody(0, 8000, 8)) + Chunk("data", "ab")),
       " has 0 channels.\r\nOnly 1 and 2 channel files are implemented!\r\nPlease select another sound file.",
       " has 0 channels.\r\nOnly 1 and 2 channel files are implemented!"},
      {"24bit", Riff(Chunk("fmt ", FmtBody(1, 8000, 24)) + Chunk("data", "abc")),
       " has 24 bit samples.\r\nOnly 8, 16, 24 and 32 bit files are implemented!\r\nPlease select another sound file.",
       " has 24 bit samples.\r\nOnly 8, 16, 24 and 32 bit files are implemented!"},
      {"4bit", Riff(Chunk("fmt ", FmtBody(1, 8000, 4)) + Chunk("data", "ab")),
       " has 4 bit samples.\r\nOnly 8, 16, 24 and 32 bit files are implemented!\r\nPlease select another sound file.",
       " has 4 bit samples.\r\nOnly 8, 16, 24 and 32 bit files are implemented!"},
      {"rate0", Riff(Chunk("fmt ", FmtBody(1, 0, 8)) + Chunk("data", "ab")),
       " has a sample rate of 0 hz.\r\nOnly rates from 1000 to 1000000 hz are implemented!\r\n"
       "Please select another sound file.",
       " has a sample rate of 0 hz.\r\nOnly rates from 1000 to 1000000 hz are implemented!"},
      {"order", Riff(Chunk("data", "ab") + fmt), " Data Chunk before Format Chunk" + corrupt,
       " Data Chunk before Format Chunk"},
      {"nodata", Riff(fmt + Chunk("LIST", "abcd")), " has no Data Chunk" + corrupt, " has no Data Chunk"},
      {"fmt12", Riff(Chunk("fmt ", FmtBody(1, 8000, 8).substr(0, 12)) + Chunk("data", "ab")),
       " Format Chunk too short" + corrupt, " Format Chunk too short"},
      // A recording cut off: the data chunk says 1000 bytes, 10 are there.
      {"cut", Riff(fmt + Chunk("data", std::string(10, 'x'), 1000u)),
       " is cut short: its WAVE sound data ends before the file says it does" + corrupt,
       " is cut short: its WAVE sound data ends before the file says it does"},
      // A skipped chunk whose size points far beyond the file.
      {"huge", Riff(fmt + Chunk("junk", "abcd", 0xFFFFFFF0u) + Chunk("data", "ab")),
       " is cut short: its \"junk\" chunk needs 4294967280 bytes, but only 14 follow" + corrupt,
       " is cut short: its \"junk\" chunk needs 4294967280 bytes, but only 14 follow"},
  };
  for (const Broken& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = Write(c.bytes, std::string(c.name) + ".wav");
    auto expected = [&](const std::string& text, bool check) {
      if (text == "*enc") return "Unidentified encoding in " + path + (check ? s : "");
      return path + text;
    };
    ui_.calls.clear();
    EXPECT_FALSE(Check(path));
    ASSERT_EQ(ui_.calls.size(), 1u);
    EXPECT_EQ(ui_.calls[0].kind, testing::RecordingUserInterface::Call::Kind::kTell);
    EXPECT_EQ(ui_.calls[0].style, BoxStyle::kSystemModal);
    EXPECT_EQ(ui_.calls[0].text, expected(c.check_text, true));

    ui_.calls.clear();
    EXPECT_FALSE(testing::ReadWaveSamples(path, ui_));
    ASSERT_EQ(ui_.calls.size(), 1u);
    EXPECT_EQ(ui_.calls[0].style, BoxStyle::kPlain);
    EXPECT_EQ(ui_.calls[0].text, expected(c.decode_text, false));
  }
  EXPECT_EQ(state_.max_wave_frames, 0);
}

TEST_F(WaveReaderTest, RiffSizeBoundsTheWalk) {
  // A RIFF size that ends before the data chunk: the walk stops there.
  std::string fmt = Chunk("fmt ", FmtBody(1, 8000, 8));
  EXPECT_FALSE(Check(Write(Riff(fmt + Chunk("data", "abcd"), 4 + static_cast<uint32_t>(fmt.size())))));
  EXPECT_NE(ui_.Messages().back().find("has no Data Chunk"), std::string::npos);
  // A RIFF size larger than the file (streamed recordings): the data is found.
  ui_.calls.clear();
  EXPECT_TRUE(Check(Write(Riff(fmt + Chunk("data", "abcd"), 0xFFFFFFFFu), "big.wav")));
  EXPECT_EQ(format_.frame_count, 4);
}

TEST_F(WaveReaderTest, FileThatShrankWhileDecodingIsReported) {
  std::string path = Write(Wave(1, 8000, 8, std::string(1000, 'x')));
  ui_.calls.clear();
  std::optional<OpenedWave> wave;
  ASSERT_TRUE(testing::Shown(ui_, OpenWaveForDecoding(path, &wave)));
  ASSERT_TRUE(wave);
  testing::WriteFile(path, Wave(1, 8000, 8, std::string(10, 'x')));  // same inode, truncated
  size_t frames = 0;
  auto count = [&](const uint8_t*, size_t n) {
    frames += n;
    return true;
  };
  EXPECT_FALSE(testing::Shown(ui_, StreamWaveFrames(*wave, path, count)));
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_EQ(ui_.Messages()[0], path + " could not be read to its end");
}

}  // namespace
}  // namespace sonavelt::audio
