#include "audio/sun_au_reader.h"

#include <gtest/gtest.h>

#include "audio/wave_converter.h"
#include "base/byte_order.h"
#include "tests/audio/shown_status.h"
#include "tests/support/wave_bytes.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::audio {
namespace {

using testing::AuFile;

class SunAuReaderTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes, const std::string& name = "s.au") {
    std::string path = dir_.File(name);
    testing::WriteFile(path, bytes);
    return path;
  }
  testing::TempDir dir_;
  testing::RecordingUserInterface ui_;
};

TEST_F(SunAuReaderTest, AcceptsMuLawHeadersOfAnySaneShape) {
  // Our own conversion: header 34, data from there.
  std::string wave = Write(testing::Wave(1, 8000, 8, std::string(10, 'x')), "s.wav");
  ASSERT_EQ(testing::Shown(ui_, ConvertWaveFile(wave, dir_.File("ours.au"), {})),
            ConversionOutcome::kConverted);
  SunAuReader ours;
  ASSERT_TRUE(ours.Check(dir_.File("ours.au")).ok());
  EXPECT_EQ(ours.data_offset(), 34u);

  // No annotation at all; a rate with a high byte of 0x80 or more; stereo.
  SunAuReader bare;
  EXPECT_TRUE(bare.Check(Write(AuFile(24, 1, 16000, 2, "", "ab"), "bare.au")).ok());
  EXPECT_EQ(bare.data_offset(), 24u);
  EXPECT_EQ(bare.sample_rate(), 16000u);
  EXPECT_TRUE(
      testing::Shown(ui_, CheckSunAuFile(Write(AuFile(24, 1, 0x80000000u, 1, "", "ab"), "fast.au"))));
  // A header that ends exactly at the end of the file, with no annotation.
  EXPECT_TRUE(
      testing::Shown(ui_, CheckSunAuFile(Write(AuFile(24, 1, 8000, 1, "", ""), "empty.au"))));
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_F(SunAuReaderTest, RefusesWithItsMessages) {
  const std::string header_fault =
      "Could not process the Sun sound file header!\r\nPlease select another audio file.";
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case header_faults[] = {
      {"linear16", AuFile(24, 3, 8000, 1, "", "abcd")},
      {"offset20", AuFile(20, 1, 8000, 1, "", "abcd")},
      {"rate0", AuFile(24, 1, 0, 1, "", "abcd")},
      {"chan0", AuFile(24, 1, 8000, 0, "", "abcd")},
      {"short", AuFile(24, 1, 8000, 1, "", "").substr(0, 20)},
      // The data offset equals the file length and the annotation is not empty.
      {"allnote", AuFile(32, 1, 8000, 1, "12345678", "")},
      {"beyond", AuFile(0xFFFFFFF0u, 1, 8000, 1, "note", "data")},
  };
  for (const Case& c : header_faults) {
    SCOPED_TRACE(c.name);
    ui_.calls.clear();
    EXPECT_FALSE(
        testing::Shown(ui_, CheckSunAuFile(Write(c.bytes, std::string(c.name) + ".au"))));
    ASSERT_EQ(ui_.calls.size(), 1u);
    EXPECT_EQ(ui_.calls[0].style, BoxStyle::kSystemModal);
    EXPECT_EQ(ui_.calls[0].text, header_fault);
  }
  ui_.calls.clear();
  std::string renamed = Write(testing::Wave(1, 8000, 8, "ab"), "renamed.au");
  EXPECT_FALSE(testing::Shown(ui_, CheckSunAuFile(renamed)));
  EXPECT_EQ(ui_.Messages(),
            std::vector<std::string>{renamed + " is not an .au file !\r\nPlease select another audio file."});
}

TEST_F(SunAuReaderTest, WaveCopyOfAThousandBytes) {
  std::string data;
  for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(i));
  SunAuReader reader;
  ASSERT_TRUE(reader.Check(Write(AuFile(28, 1, 8000, 2, "note", data))).ok());
  const Status written = reader.WriteAuAsWave(dir_.File("copy.wav"));
  ASSERT_TRUE(written.ok()) << written.message();
  std::string copy = testing::ReadFile(dir_.File("copy.wav"));
  ASSERT_EQ(copy.size(), 1044u);
  const auto* bytes = reinterpret_cast<const uint8_t*>(copy.data());
  EXPECT_EQ(copy.substr(0, 4), "RIFF");
  EXPECT_EQ(LoadLe32(bytes + 4), 1036u);
  EXPECT_EQ(copy.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(LoadLe32(bytes + 16), 16u);
  EXPECT_EQ(LoadLe16(bytes + 20), 1u);
  EXPECT_EQ(LoadLe16(bytes + 22), 2u);     // the .au's channel count ...
  EXPECT_EQ(LoadLe32(bytes + 24), 8000u);
  EXPECT_EQ(LoadLe32(bytes + 28), 8000u);  // ... but one channel's byte rate
  EXPECT_EQ(LoadLe16(bytes + 32), 1u);
  EXPECT_EQ(LoadLe16(bytes + 34), 8u);
  EXPECT_EQ(copy.substr(36, 4), "data");
  EXPECT_EQ(LoadLe32(bytes + 40), 1000u);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(bytes[44 + i], PreviewByteOfMuLaw(static_cast<uint8_t>(i))) << i;
  }
}

}  // namespace
}  // namespace sonavelt::audio
