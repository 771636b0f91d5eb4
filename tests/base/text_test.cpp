#include "base/text.h"

#include <gtest/gtest.h>

#include <climits>

namespace sonavelt {
namespace {

TEST(FileNameOfPathTest, ForwardSlashWinsOverBackslash) {
  EXPECT_EQ(FileNameOfPath("/home/a/b.wav"), "b.wav");
  EXPECT_EQ(FileNameOfPath("C:\\snd\\bell.WAV"), "bell.WAV");
  // A '/' anywhere decides, even when a '\' comes later.
  EXPECT_EQ(FileNameOfPath("a/b\\c.wav"), "b\\c.wav");
  EXPECT_EQ(FileNameOfPath("plain.au"), "plain.au");
  EXPECT_EQ(FileNameOfPath("folder/"), "");
  EXPECT_EQ(FileNameOfPath(""), "");
}

TEST(DecimalTextTest, WholeRangeOfSigned32Bit) {
  EXPECT_EQ(DecimalText(0), "0");
  EXPECT_EQ(DecimalText(-17), "-17");
  EXPECT_EQ(DecimalText(8000), "8000");
  EXPECT_EQ(DecimalText(INT32_MIN), "-2147483648");
  EXPECT_EQ(DecimalText(INT32_MAX), "2147483647");
}

TEST(CaseCopyTest, OnlyAsciiLettersChangeAndOffsetsStay) {
  const std::string page = "<body bgcolor=\"#ffFFff\">\xE9t\xC9\n";
  std::string upper = UpperCopy(page);
  ASSERT_EQ(upper.size(), page.size());
  EXPECT_EQ(upper, "<BODY BGCOLOR=\"#FFFFFF\">\xE9T\xC9\n");
  EXPECT_EQ(LowerCopy("A.WAV\xC9"), "a.wav\xC9");
  // The ends of the alphabet, and the bytes just outside them.
  EXPECT_EQ(UpperCopy("`az{"), "`AZ{");
  EXPECT_EQ(LowerCopy("@AZ["), "@az[");
}

TEST(TrimTest, EveryBlankGoesUpToTheText) {
  struct Case {
    const char* text;
    const char* left;
    const char* right;
  };
  for (const Case& c : {Case{" \t\r\nab c\v\f ", "ab c\v\f ", " \t\r\nab c"}, Case{" ", "", ""},
                        Case{"", "", ""}, Case{"x", "x", "x"}}) {
    EXPECT_EQ(TrimLeft(c.text), c.left) << "\"" << c.text << "\"";
    EXPECT_EQ(TrimRight(c.text), c.right) << "\"" << c.text << "\"";
  }
}

TEST(SoundPathTest, ExtensionsAreFoundAnywhereInAnyCase) {
  EXPECT_TRUE(IsWavePath("/x/Bell.WAV"));
  EXPECT_TRUE(IsWavePath("/x/song.wave.txt"));
  EXPECT_TRUE(IsAuPath("/x/my.audio/readme"));
  EXPECT_TRUE(IsAuPath("hi.AU"));
  EXPECT_FALSE(IsWavePath("/x/song.mp3"));
  EXPECT_FALSE(IsAuPath("/x/song.mp3"));
}

TEST(LineEndTest, CrLfBecomesLf) {
  EXPECT_EQ(WithUnixLineEnds("a\r\nb\r\n\r\nc"), "a\nb\n\nc");
  EXPECT_EQ(WithUnixLineEnds("lone\rcr"), "lone\rcr");
}

}  // namespace
}  // namespace sonavelt
