#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/byte_order.h"
#include "data/soundgen/signal.h"
#include "data/soundgen/sound_files.h"
#include "tests/support/program.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::soundgen {
namespace {

using sonavelt::testing::ReadFile;
using sonavelt::testing::TempDir;

// The default sound lists name these files; the run fails on a missing one.
const std::vector<std::string> kEvents = {
    "ad/sonavelt.wav",     "event/raintrain.wav", "event/car1.wav",      "event/knockdoor.wav",
    "event/champagne.wav", "event/laugh3.wav",    "event/carcrash2.wav", "event/doornoise2.wav"};
const std::vector<std::string> kLoops = {"bg/lullaby.wav", "bg/waltz.wav", "bg/blues.wav",
                                         "bg/marimba.wav"};
constexpr int kRate = 11025;
constexpr size_t kWaveHeader = 44;

std::string AudioDir() {
  const char* dir = std::getenv("SONAVELT_BUILD_DATA_DIR");
  return dir ? std::string(dir) + "/audio/" : std::string();
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// Checks the 44-byte header a first run expects (no format-change question)
// and answers the 8-bit samples.
std::vector<int> ReadDefaultWave(const std::string& bytes) {
  EXPECT_GE(bytes.size(), kWaveHeader);
  if (bytes.size() < kWaveHeader) return {};
  const uint8_t* p = Bytes(bytes);
  EXPECT_EQ(bytes.substr(0, 4), "RIFF");
  EXPECT_EQ(LoadLe32(p + 4), bytes.size() - 8);
  EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(LoadLe32(p + 16), 16u);
  EXPECT_EQ(LoadLe16(p + 20), 1) << "format";
  EXPECT_EQ(LoadLe16(p + 22), 1) << "channels";
  EXPECT_EQ(LoadLe32(p + 24), static_cast<uint32_t>(kRate));
  EXPECT_EQ(LoadLe32(p + 28), static_cast<uint32_t>(kRate)) << "bytes per second";
  EXPECT_EQ(LoadLe16(p + 32), 1) << "block align";
  EXPECT_EQ(LoadLe16(p + 34), 8) << "bits";
  EXPECT_EQ(bytes.substr(36, 4), "data");
  const uint32_t data_size = LoadLe32(p + 40);
  // Only a word-alignment pad byte may follow the samples.
  EXPECT_EQ(kWaveHeader + data_size + (data_size & 1), bytes.size());
  const size_t frames = std::min<size_t>(data_size, bytes.size() - kWaveHeader);
  return std::vector<int>(p + kWaveHeader, p + kWaveHeader + frames);
}

// Peak distance from the 8-bit midpoint, in steps.
int Peak(const std::vector<int>& s) {
  int peak = 0;
  for (int x : s) peak = std::max(peak, std::abs(x - 128));
  return peak;
}

// Checks what every shipped WAVE shares: about -3 dBFS, clearly audible and
// never touching the rails; and next to nothing above 4 kHz, which the run's
// drop-sample conversion to 8000 Hz would fold back as harsh aliases.
void ExpectLevelAndBand(const std::vector<int>& s) {
  EXPECT_GE(Peak(s), 80);
  EXPECT_LE(Peak(s), 120);
  Biquad high1 = Biquad::HighPass(4300, 0.7071), high2 = Biquad::HighPass(4300, 0.7071);
  double total = 0.0, high = 0.0;
  for (int x : s) {
    const double v = x - 128.0;
    const double h = high2.Process(high1.Process(v));
    total += v * v;
    high += h * h;
  }
  EXPECT_LT(high, 0.001 * total);
}

TEST(ShippedSoundsTest, EventSoundsAreShortDefaultFormatWaves) {
  ASSERT_FALSE(AudioDir().empty()) << "SONAVELT_BUILD_DATA_DIR is not set";
  for (const std::string& name : kEvents) {
    SCOPED_TRACE(name);
    const std::vector<int> s = ReadDefaultWave(ReadFile(AudioDir() + name));
    EXPECT_GE(s.size(), static_cast<size_t>(kRate / 2));
    EXPECT_LT(s.size(), static_cast<size_t>(3 * kRate));
    ExpectLevelAndBand(s);
    // Events start and end in silence, so they cut in and out cleanly.
    if (!s.empty()) {
      EXPECT_NEAR(s.front(), 128, 1);
      EXPECT_NEAR(s.back(), 128, 1);
    }
  }
}

TEST(ShippedSoundsTest, BackgroundPiecesLoopWithoutAClick) {
  ASSERT_FALSE(AudioDir().empty()) << "SONAVELT_BUILD_DATA_DIR is not set";
  for (const std::string& name : kLoops) {
    SCOPED_TRACE(name);
    const std::vector<int> s = ReadDefaultWave(ReadFile(AudioDir() + name));
    ASSERT_GE(s.size(), static_cast<size_t>(10 * kRate));
    EXPECT_LE(s.size(), static_cast<size_t>(30 * kRate));
    ExpectLevelAndBand(s);

    std::vector<int> steps;
    long sum = 0;
    for (size_t i = 0; i + 1 < s.size(); ++i) steps.push_back(std::abs(s[i + 1] - s[i]));
    for (int x : s) sum += x;
    std::sort(steps.begin(), steps.end());
    const int typical = steps[steps.size() * 99 / 100];
    // Played over and over, the last sample is followed by the first.
    EXPECT_LE(std::abs(s.front() - s.back()), typical);
    // A DC offset would thump at every start and stop of the loop.
    EXPECT_NEAR(static_cast<double>(sum) / s.size(), 128.0, 0.5);
  }
}

TEST(ShippedSoundsTest, FallbackSoundIsAnAppletReadyAuFile) {
  ASSERT_FALSE(AudioDir().empty()) << "SONAVELT_BUILD_DATA_DIR is not set";
  const std::string bytes = ReadFile(AudioDir() + "hi.au");
  ASSERT_GT(bytes.size(), 34u);
  std::string header(".snd\0\0\0\x22", 8);
  AppendBe32(header, static_cast<uint32_t>(bytes.size() - 34));
  header += std::string("\0\0\0\x01\0\0\x1f\x40\0\0\0\x01", 12) + "Sonavelt" + std::string(2, '\0');
  EXPECT_EQ(bytes.substr(0, 34), header);
  EXPECT_GE(bytes.size() - 34, 8000u / 5);  // long enough to hear
  EXPECT_LE(bytes.size() - 34, 8000u);
  // The zero trap: no code 0 in the data.
  EXPECT_EQ(bytes.find('\0', 34), std::string::npos);
}

TEST(ShippedSoundsTest, MuLawCodesMatchTheConverter) {
  EXPECT_EQ(MuLawCode(0), 0xFF);
  EXPECT_EQ(MuLawCode(-1), 0x7F);
  EXPECT_EQ(MuLawCode(100), 0xF2);
  EXPECT_EQ(MuLawCode(-100), 0x72);
  EXPECT_EQ(MuLawCode(32767), 0x80);
  EXPECT_EQ(MuLawCode(-31612), 0x02);  // would be 0x00
  EXPECT_EQ(MuLawCode(-32768), 0x02);
  // Codes fall steadily as the level rises, within each sign.
  for (int s = 1; s < 32767; ++s) ASSERT_LE(MuLawCode(s), MuLawCode(s - 1)) << s;
}

// Runs the generator into `dir` with an argument list, no shell.
int RunGenerator(const std::string& dir) {
  return sonavelt::testing::RunProgram({SONAVELT_SOUNDGEN_PATH, dir},
                                       sonavelt::testing::ProgramOptions{})
      .status;
}

TEST(ShippedSoundsTest, GeneratorFailsWhenItCannotWrite) {
  // A build must stop rather than ship a folder without sounds.
  TempDir dir;
  sonavelt::testing::WriteFile(dir.File("audio"), "a file, not a folder");
  EXPECT_NE(RunGenerator(dir.File("audio")), 0);
}

TEST(ShippedSoundsTest, GeneratorWritesTheSameBytesEveryTime) {
  TempDir first, second;
  ASSERT_EQ(RunGenerator(first.path().string()), 0);
  ASSERT_EQ(RunGenerator(second.path().string()), 0);
  std::vector<std::string> all = kEvents;
  all.insert(all.end(), kLoops.begin(), kLoops.end());
  all.push_back("hi.au");
  for (const std::string& name : all) {
    SCOPED_TRACE(name);
    const std::string a = ReadFile(first.File(name));
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == ReadFile(second.File(name)));
    if (!AudioDir().empty()) {
      EXPECT_TRUE(a == ReadFile(AudioDir() + name)) << "the build tree's copy is stale";
    }
  }
}

}  // namespace
}  // namespace sonavelt::soundgen
