#include "audio/wave_converter.h"

#include <gtest/gtest.h>

#include "tests/audio/shown_status.h"

#include <filesystem>
#include <random>

#include "audio/au_writer.h"
#include "audio/wave_reader.h"
#include "tests/support/wave_bytes.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/reference_audio.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::audio {
namespace {

std::string RandomBytes(size_t count, unsigned seed) {
  std::mt19937 gen(seed);
  std::string out(count, '\0');
  for (char& c : out) c = static_cast<char>(gen() & 0xFF);
  return out;
}

class WaveConverterTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes, const std::string& name = "s.wav") {
    std::string path = dir_.File(name);
    testing::WriteFile(path, bytes);
    return path;
  }
  // The .au bytes the plain step-by-step pipeline gives.
  std::string StepByStep(const std::string& wave_path) {
    auto decoded = testing::ReadWaveSamples(wave_path, ui_);
    EXPECT_TRUE(decoded);
    if (!decoded) return "";
    testing::MakeMono(decoded->format);
    testing::ChangeRate(decoded->format, decoded->samples, 8000);
    EXPECT_TRUE(testing::ChangeEncoding(decoded->format, decoded->samples, kMuLawEncoding, ui_));
    auto header = SunAuHeader(static_cast<uint32_t>(decoded->samples.size()));
    std::string out(header.begin(), header.end());
    for (int32_t code : decoded->samples) out.push_back(static_cast<char>(code));
    return out;
  }

  testing::TempDir dir_;
  testing::RecordingUserInterface ui_;
  ConversionControl control_;
};

TEST_F(WaveConverterTest, HeaderOfEightThousandFrames) {
  std::string wave = Write(testing::Wave(1, 8000, 8, std::string(8000, '\x80')));
  ASSERT_EQ(testing::Shown(ui_, ConvertWaveFile(wave, dir_.File("s.au"), control_)),
            ConversionOutcome::kConverted);
  std::string au = testing::ReadFile(dir_.File("s.au"));
  const unsigned char expected[34] = {0x2E, 0x73, 0x6E, 0x64, 0, 0, 0, 0x22, 0, 0, 0x1F, 0x40,
                                      0,    0,    0,    1,    0, 0, 0x1F, 0x40, 0, 0, 0, 1,
                                      'S',  'o',  'n',  'a',  'v', 'e', 'l', 't', 0, 0};
  ASSERT_EQ(au.size(), 34u + 8000u);
  EXPECT_EQ(au.substr(0, 34), std::string(reinterpret_cast<const char*>(expected), 34));
  // An 8000 Hz source is still encoded: 0x80 is silence, code 0xFF.
  EXPECT_EQ(au.substr(34), std::string(8000, '\xFF'));
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_F(WaveConverterTest, RateChangeKeepsTheAccumulatorsPicks) {
  SoundFormat format{kPcmEncoding, 1, 16, 22050, 22050};
  std::vector<int32_t> samples(22050);
  for (int i = 0; i < 22050; ++i) samples[i] = i;
  testing::ChangeRate(format, samples, 8000);
  EXPECT_EQ(format.frame_count, 8000);
  ASSERT_EQ(samples.size(), 8000u);
  EXPECT_EQ(std::vector<int32_t>(samples.begin(), samples.begin() + 7),
            (std::vector<int32_t>{2, 5, 8, 11, 13, 16, 19}));
  EXPECT_EQ(format.sample_rate, 22050);  // left as it was

  // From 16000 Hz two inputs sum to exactly one period, which is not greater.
  SoundFormat f16{kPcmEncoding, 1, 16, 16000, 2000};
  std::vector<int32_t> s16(2000);
  for (int i = 0; i < 2000; ++i) s16[i] = i;
  testing::ChangeRate(f16, s16, 8000);
  ASSERT_EQ(s16.size(), 999u);
  EXPECT_EQ(s16[0], 2);
  EXPECT_EQ(s16[998], 1998);

  // Below 8000 Hz samples repeat, so the sound keeps its length.
  SoundFormat f4{kPcmEncoding, 1, 16, 4000, 100};
  std::vector<int32_t> s4(100);
  for (int i = 0; i < 100; ++i) s4[i] = i;
  testing::ChangeRate(f4, s4, 8000);
  EXPECT_NEAR(static_cast<double>(s4.size()), 200.0, 1.0);
  EXPECT_EQ(s4[s4.size() - 1], 99);
  EXPECT_EQ(s4[s4.size() - 2], 99);
}

// The streamed, fused converter gives the same bytes as the plain pipeline,
// across read pieces and for every layout and rate relation.
TEST_F(WaveConverterTest, StreamedConversionMatchesStepByStep) {
  struct Case {
    int channels, rate, bits, frames;
  };
  const Case cases[] = {{2, 44100, 16, 150001}, {1, 22050, 8, 300007}, {1, 8000, 16, 20000},
                        {2, 11025, 8, 70001},   {1, 16000, 16, 2000},  {1, 5000, 16, 30001},
                        {1, 48000, 16, 0}};
  unsigned seed = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.channels << "ch " << c.rate << " Hz " << c.bits << " bit");
    std::string wave = Write(testing::Wave(c.channels, c.rate, c.bits,
                                           RandomBytes(size_t(c.frames) * c.channels * c.bits / 8, seed++)));
    ASSERT_EQ(testing::Shown(ui_, ConvertWaveFile(wave, dir_.File("s.au"), control_)),
              ConversionOutcome::kConverted);
    EXPECT_EQ(testing::ReadFile(dir_.File("s.au")), StepByStep(wave));
  }
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_F(WaveConverterTest, ProgressAtTheTenthMarksOfTheOutput) {
  std::vector<int> percents;
  control_.report_progress = [&](int p) { percents.push_back(p); };
  // 55 input frames at 22050 Hz give 19 output frames: marks 1, 3, 5, 7, 9, ...
  std::string wave = Write(testing::Wave(1, 22050, 8, std::string(55, '\x80')));
  ASSERT_EQ(testing::Shown(ui_, ConvertWaveFile(wave, dir_.File("a.au"), control_)),
            ConversionOutcome::kConverted);
  ASSERT_EQ(testing::ReadFile(dir_.File("a.au")).size(), 34u + 19u);
  EXPECT_EQ(percents, (std::vector<int>{5, 15, 26, 36, 47, 57, 68, 78, 89}));

  // Fewer than ten frames: marks coincide, the first is 0, one report each.
  percents.clear();
  wave = Write(testing::Wave(1, 8000, 8, std::string(5, '\x80')), "five.wav");
  ASSERT_EQ(testing::Shown(ui_, ConvertWaveFile(wave, dir_.File("b.au"), control_)),
            ConversionOutcome::kConverted);
  EXPECT_EQ(percents, (std::vector<int>{0, 20, 40, 60, 80}));
}

TEST_F(WaveConverterTest, CancelLeavesNoFileAndKeepsAnEarlierOne) {
  std::atomic<bool> cancel{false};
  control_.cancel_requested = &cancel;
  int reports = 0;
  control_.report_progress = [&](int) {
    if (++reports == 3) cancel = true;  // the user quits part way through
  };
  std::string wave = Write(testing::Wave(1, 8000, 8, RandomBytes(50000, 7)));
  EXPECT_EQ(testing::Shown(ui_, ConvertWaveFile(wave, dir_.File("c.au"), control_)),
            ConversionOutcome::kCancelled);
  EXPECT_EQ(reports, 3);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("c.au")));

  testing::WriteFile(dir_.File("c.au"), "earlier");
  reports = 0;
  cancel = false;
  EXPECT_EQ(testing::Shown(ui_, ConvertWaveFile(wave, dir_.File("c.au"), control_)),
            ConversionOutcome::kCancelled);
  EXPECT_EQ(testing::ReadFile(dir_.File("c.au")), "earlier");
  // No temporary files are left behind either.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                          std::filesystem::directory_iterator()),
            2);
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_F(WaveConverterTest, FailuresAreReportedNeverSuccess) {
  std::string wave = Write(testing::Wave(1, 8000, 8, std::string(100, 'x')));
  std::string unwritable = dir_.File("missing-folder/s.au");
  EXPECT_EQ(testing::Shown(ui_, ConvertWaveFile(wave, unwritable, control_)),
            ConversionOutcome::kWriteFailed);
  ASSERT_EQ(ui_.calls.size(), 1u);
  EXPECT_EQ(ui_.calls[0].style, BoxStyle::kSystemModal);
  EXPECT_EQ(ui_.calls[0].text.rfind(unwritable + " cannot be written: ", 0), 0u);

  ui_.calls.clear();
  std::string broken = Write("RIFF", "broken.wav");
  EXPECT_EQ(testing::Shown(ui_, ConvertWaveFile(broken, dir_.File("b.au"), control_)),
            ConversionOutcome::kRefused);
  EXPECT_EQ(ui_.Messages(), std::vector<std::string>{broken + " is not a WAVE file"});
  EXPECT_FALSE(std::filesystem::exists(dir_.File("b.au")));

  SoundFormat mulaw{kMuLawEncoding, 1, 8, 8000, 0};
  std::vector<int32_t> none;
  EXPECT_FALSE(testing::ChangeEncoding(mulaw, none, kPcmEncoding, ui_));
  EXPECT_EQ(ui_.Messages().back(), "Unimplemented Encoding change.");
}

}  // namespace
}  // namespace sonavelt::audio
