#include "data/soundgen/signal.h"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "base/byte_order.h"
#include "data/soundgen/sound_files.h"

namespace sonavelt::soundgen {
namespace {

Samples Sine(double freq, int frames) {
  Samples s(frames);
  for (int i = 0; i < frames; ++i) s[i] = 0.5 * std::sin(2 * kPi * freq * i / kRate);
  return s;
}

double Rms(const Samples& s, size_t from = 0) {
  double sum = 0.0;
  for (size_t i = from; i < s.size(); ++i) sum += s[i] * s[i];
  return std::sqrt(sum / static_cast<double>(s.size() - from));
}

TEST(SignalTest, BandLimitKeepsTheVoiceBandAndCutsWhatWouldAlias) {
  // Whole cycles in one second, so the sines are periodic over the buffer.
  Samples low = Sine(1000, kRate), high = Sine(4600, kRate);
  BandLimit(low, 3500, false);
  BandLimit(high, 3500, false);
  const size_t settled = kRate / 10;
  EXPECT_NEAR(Rms(low, settled), 0.5 / std::sqrt(2.0), 0.05);
  EXPECT_LT(Rms(high, settled), 0.5 / std::sqrt(2.0) / 10.0);  // at least 20 dB down
}

// A loop's end runs into its start: anything ringing at the end must carry on
// at the start, and a periodic input must stay periodic.
TEST(SignalTest, LoopedProcessingRingsAcrossTheSeam) {
  Samples filtered = Sine(441, 1000);  // 40 whole cycles
  BandLimit(filtered, 3500, true);
  const double step_inside = std::abs(filtered[501] - filtered[500]);
  EXPECT_NEAR(std::abs(filtered.front() - filtered.back()), step_inside, 0.02);

  Samples click(4000, 0.0);
  click[3990] = 1.0;
  Samples reverberant = click;
  AddReverb(reverberant, 0.5, 0.5, true);
  EXPECT_GT(Rms(Samples(reverberant.begin(), reverberant.begin() + 1000)), 0.001);

  Samples ring(1000, 0.0);
  AddMode(ring, 990, 500, 1.0, 0.05, true);
  EXPECT_GT(std::abs(ring[20]) + std::abs(ring[21]), 0.1);
  Samples cut(1000, 0.0);
  AddMode(cut, 990, 500, 1.0, 0.05, false);
  EXPECT_EQ(cut[20], 0.0);
}

TEST(SignalTest, WaveBytesClampAndPad) {
  // Out-of-range samples clip rather than wrap round to the other rail, and
  // an odd sample count gets its pad byte, counted in the RIFF size.
  const std::string bytes = WaveBytes({0.0, 1.7, -1.7});
  ASSERT_EQ(bytes.size(), 44u + 3u + 1u);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
  EXPECT_EQ(LoadLe32(p + 4), bytes.size() - 8);
  EXPECT_EQ(LoadLe32(p + 40), 3u);
  EXPECT_EQ(p[44], 0x80);
  EXPECT_EQ(p[45], 255);
  EXPECT_EQ(p[46], 1);
  EXPECT_EQ(p[47], 0x80);
}

}  // namespace
}  // namespace sonavelt::soundgen
