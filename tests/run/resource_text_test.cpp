#include "run/resource_text.h"

#include <gtest/gtest.h>

#include "tests/support/recording_user_interface.h"
#include "tests/support/resource_file.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::run {
namespace {

using testing::RecordingUserInterface;

// The text, with the colour warning shown on ui as a front end shows it.
std::string ResourceTextShown(const RunOptions& options, int count, const ConvertedSounds& sounds,
                              std::string_view colour, std::string_view image, UserInterface& ui) {
  Status warning;
  std::string text = ResourceText(options, count, sounds, colour, image, &warning);
  Show(ui, warning);
  return text;
}

ConvertedSounds TwoCombinations() {
  ConvertedSounds s;
  s.entrance = {"/cache/hello.au", "/snd/Door Bell.au"};
  s.exit = {"/cache/bye.au", "C:\\snd\\bye2.au"};
  s.background = {"/cache/rain.au", "/cache/wind.au"};
  s.entrance_durations = {"998", "12"};
  return s;
}

TEST(ResourceTextTest, FieldsInOrder) {
  RunOptions options;
  options.page_url = "http://example.org/index.htm";
  options.safety_key = true;
  options.background_initially_on = true;
  options.exit_on = false;
  RecordingUserInterface ui;
  EXPECT_EQ(ResourceTextShown(options, 2, TwoCombinations(), "#FFCC00", "img/Back.gif", ui),
            "http://example.org/index.htm;"
            "audio/hello.au,audio/Door%20Bell.au;"
            "audio/bye.au,audio/bye2.au;"
            "audio/rain.au,audio/wind.au;"
            "998,12;"
            "img/Back.gif;"
            "255,204,0;"
            "N;Y;Y;N;Y;Y;"
            " ; ;2;");
  EXPECT_TRUE(ui.calls.empty());
}

TEST(ResourceTextTest, EmptyFieldsAndNoBackground) {
  RunOptions options;
  options.no_background = true;
  options.invisible_applet = true;
  ConvertedSounds sounds;
  sounds.entrance = {"a.au", "b.au", "c.au"};
  sounds.exit = {"d.au", "e.au", "f.au"};
  sounds.entrance_durations = {"1", "2", "3"};
  RecordingUserInterface ui;
  EXPECT_EQ(ResourceTextShown(options, 3, sounds, "AQUA", "", ui),
            " ;audio/a.au,audio/b.au,audio/c.au;audio/d.au,audio/e.au,audio/f.au;"
            " , , ;1,2,3; ;255,255,255;Y;N;Y;Y;N;N; ; ;2;");
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0], "The background color is not in a valid format!");
}

TEST(ResourceTextTest, TextIsAlwaysSevenBitAndSeparatorsCannotLeak) {
  RunOptions options;
  options.page_url = "http://example.org/caf\xE9;x.htm";
  ConvertedSounds sounds;
  sounds.entrance = {"/snd/caf\xE9,1;2%.au"};
  sounds.exit = {"/snd/ok.au"};
  sounds.background = {"/snd/b.au"};
  sounds.entrance_durations = {"5"};
  RecordingUserInterface ui;
  std::string text = ResourceTextShown(options, 1, sounds, "RED", "img/\xC9t\xE9 1.gif", ui);
  EXPECT_EQ(text,
            "http://example.org/caf%E9%3Bx.htm;audio/caf%E9%2C1%3B2%25.au;audio/ok.au;"
            "audio/b.au;5;img/%C9t%E9%201.gif;255,0,0;N;Y;Y;Y;N;N; ; ;2;");
  std::string bytes;
  EXPECT_TRUE(EncodeResourceText(text, &bytes).ok());
}

TEST(ResourceEncodingTest, KnownBytes) {
  std::string bytes;
  ASSERT_TRUE(EncodeResourceText("abc", &bytes).ok());
  EXPECT_EQ(bytes, std::string("\x03\x00\x00\x00\xC2\xC4\xC6", 7));

  ASSERT_TRUE(EncodeResourceText(std::string(300, ' '), &bytes).ok());
  ASSERT_EQ(bytes.size(), 304u);
  EXPECT_EQ(bytes.substr(0, 5), std::string("\x2C\x01\x00\x00\x40", 5));

  Status refused = EncodeResourceText("caf\xE9", &bytes);
  EXPECT_EQ(refused.code(), Status::Code::kInvalidArgument);
  EXPECT_NE(refused.message().find("offset 3"), std::string::npos);
}

TEST(ResourceEncodingTest, DecodeRoundTripsAndRejectsDamage) {
  std::string all;
  for (int c = 0; c < 128; ++c) all.push_back(static_cast<char>(c));
  for (const std::string& text : {std::string(), std::string("abc"), all}) {
    std::string bytes, back;
    ASSERT_TRUE(EncodeResourceText(text, &bytes).ok());
    ASSERT_TRUE(testing::DecodeResourceFile(bytes, &back).ok());
    EXPECT_EQ(back, text);
  }
  std::string bytes, back;
  ASSERT_TRUE(EncodeResourceText("abc", &bytes).ok());
  EXPECT_FALSE(testing::DecodeResourceFile(bytes.substr(0, 6), &back).ok());       // cut short
  EXPECT_FALSE(testing::DecodeResourceFile(bytes + "\x02", &back).ok());           // bytes after
  EXPECT_FALSE(testing::DecodeResourceFile(bytes.substr(0, 3), &back).ok());       // no length
  bytes[5] = '\xC5';                                                      // odd byte
  EXPECT_EQ(testing::DecodeResourceFile(bytes, &back).code(), Status::Code::kCorrupt);
}

TEST(ResourceEncodingTest, WrittenFileDecodesToTheText) {
  testing::TempDir dir;
  const std::string path = dir.File("index.res");
  ASSERT_TRUE(WriteResourceFile(path, " ;audio/a.au;").ok());
  std::string text;
  ASSERT_TRUE(testing::DecodeResourceFile(testing::ReadFile(path), &text).ok());
  EXPECT_EQ(text, " ;audio/a.au;");
  EXPECT_FALSE(WriteResourceFile(dir.File("missing/x.res"), "a").ok());
}

TEST(PlayingTimeTest, FromFileSize) {
  EXPECT_EQ(PlayingTimeText(8032), "998");
  EXPECT_EQ(PlayingTimeText(40), "0");  // 8 x 0.124821 = 0.998..., truncated
  EXPECT_EQ(PlayingTimeText(0), "0");

  testing::TempDir dir;
  testing::WriteFile(dir.File("e.au"), std::string(8032, '\x7F'));
  std::string text;
  ASSERT_TRUE(PlayingTimeOfFile(dir.File("e.au"), &text).ok());
  EXPECT_EQ(text, "998");
  EXPECT_EQ(PlayingTimeOfFile(dir.File("none.au"), &text).code(), Status::Code::kIoError);
}

}  // namespace
}  // namespace sonavelt::run
