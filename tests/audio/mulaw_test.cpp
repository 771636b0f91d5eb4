#include "audio/mulaw.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "audio/sun_au_reader.h"

namespace sonavelt::audio {
namespace {

TEST(MuLawTest, KnownCodes) {
  EXPECT_EQ(EncodeMuLaw(0), 0xFF);
  EXPECT_EQ(EncodeMuLaw(-1), 0x7F);
  EXPECT_EQ(EncodeMuLaw(100), 0xF2);
  EXPECT_EQ(EncodeMuLaw(-100), 0x72);
  EXPECT_EQ(EncodeMuLaw(32767), 0x80);
  // The zero trap: the loudest negative samples give 0x02, never 0x00.
  EXPECT_EQ(EncodeMuLaw(-31611), 0x01);
  EXPECT_EQ(EncodeMuLaw(-31612), 0x02);
  EXPECT_EQ(EncodeMuLaw(-32768), 0x02);
  // Values beyond 16 bits clip instead of overflowing.
  EXPECT_EQ(EncodeMuLaw(INT32_MIN), 0x02);
  EXPECT_EQ(EncodeMuLaw(INT32_MAX), 0x80);
}

TEST(MuLawTest, ExpansionTableEnds) {
  EXPECT_EQ(DecodeMuLaw(0x00), -32124);
  EXPECT_EQ(DecodeMuLaw(0x7F), 0);
  EXPECT_EQ(DecodeMuLaw(0x80), 32124);
  EXPECT_EQ(DecodeMuLaw(0xFF), 0);
  // Preview bytes: the expanded value's high byte as unsigned 8-bit PCM.
  EXPECT_EQ(PreviewByteOfMuLaw(0xFF), 0x80);
  EXPECT_EQ(PreviewByteOfMuLaw(0x00), 0x02);
  EXPECT_EQ(PreviewByteOfMuLaw(0x80), 0xFD);
}

// Every 16-bit sample against a segment search written independently of the
// exponent table, and through a round trip: the expansion of a sample's
// code lies within half a quantisation step of the (clipped) sample.
TEST(MuLawTest, SweepOfAllSixteenBitSamples) {
  for (int s = -32768; s <= 32767; ++s) {
    const int magnitude = std::min(std::abs(s), 32635) + 132;
    int segment = 0;
    while (segment < 7 && magnitude >= (256 << segment)) ++segment;
    const int step = 8 << segment;  // width of a code's interval in this segment
    const int mantissa = (magnitude - (128 << segment)) / step;
    int expected = 0xFF & ~((s < 0 ? 0x80 : 0) | (segment << 4) | mantissa);
    if (expected == 0) expected = 0x02;
    const uint8_t code = EncodeMuLaw(s);
    ASSERT_EQ(code, expected) << "sample " << s;

    if (code == 0x02 && s < -31000) continue;  // the trap moves these a little further
    const int clipped = std::max(-32635, std::min(32635, s));
    ASSERT_LE(std::abs(DecodeMuLaw(code) - clipped), step / 2) << "sample " << s;
  }
}

}  // namespace
}  // namespace sonavelt::audio
