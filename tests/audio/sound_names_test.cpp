#include "audio/sound_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "base/text.h"

#include "tests/support/wave_bytes.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::audio {
namespace {

namespace fs = std::filesystem;

TEST(SoundNameRuleTest, NamesComeFromTheFileNameOnly) {
  EXPECT_EQ(ConvertedNameOf("C:\\Sounds\\Bell.WAV"), "Bell.au");
  EXPECT_EQ(ConvertedNameOf("/snd/my.wavs/beta.wav"), "beta.au");  // never cut in a folder
  EXPECT_EQ(ConvertedNameOf("/snd/x.wav.d/bell.wav"), "bell.au");
  EXPECT_EQ(ConvertedNameOf("/snd/a.wav.bak"), "a.au");      // the first ".wav" of the name
  EXPECT_EQ(ConvertedNameOf("/snd/x.wav.d/song"), "song.au");  // a WAVE path by its folder
  EXPECT_EQ(ConvertedNameOf("/snd/x.wav.d/song.raw"), "song.au");
  EXPECT_EQ(ConvertedNameOf("/snd/.wav"), "sound.au");
  EXPECT_EQ(PreviewNameOf("/snd/Hi.AU"), "Hi.wav");
  EXPECT_EQ(PreviewNameOf("/snd/music.audio/hi.au"), "hi.wav");

  // A chosen .au keeps its own name; anything converted gets ".au".
  EXPECT_EQ(PlacedNameOf("/a/Bell.AU"), "Bell.AU");
  EXPECT_EQ(PlacedNameOf("/a/bell.wav"), "bell.au");
  EXPECT_EQ(PlacedNameOf("/a/x.au.wav"), "x.au.au");  // ".wav" is tested first

  EXPECT_EQ(NumberedName("bell.au", 2), "bell-2.au");
  EXPECT_EQ(NumberedName("bell-2.au", 2), "bell-2-2.au");
  EXPECT_EQ(NumberedName("noext", 3), "noext-3");
}

class SoundNamesTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    fs::create_directories((dir_.path() / name).parent_path());
    std::string path = dir_.File(name);
    testing::WriteFile(path, bytes);
    return path;
  }
  static std::string Wave(char fill, size_t frames = 100) {
    return testing::Wave(1, 8000, 8, std::string(frames, fill));
  }
  static std::string Au(char fill) { return testing::AuFile(24, 1, 8000, 1, "", std::string(50, fill)); }

  testing::TempDir dir_;
};

TEST_F(SoundNamesTest, DifferentSoundsNeverShareAName) {
  const std::string a_bell = Write("a/bell.wav", Wave('\x10'));
  const std::string b_bell = Write("b/bell.au", Au('\x20'));  // converted a/bell.wav would clash
  const std::string c_ding = Write("c/ding.au", Au('\x30'));
  const std::string d_ding = Write("d/ding.au", Au('\x40'));
  const std::string own = Write("e/bell-2.au", Au('\x50'));  // the user's own "-2" name
  const std::string e_bell = Write("e/Bell.wav", Wave('\x60'));  // differs only in case
  SoundNames names({a_bell, b_bell, c_ding, d_ding, own, e_bell});
  EXPECT_EQ(names.NameOf(a_bell), "bell.au");
  EXPECT_EQ(names.NameOf(b_bell), "bell-3.au");  // bell-2.au is the user's
  EXPECT_EQ(names.NameOf(c_ding), "ding.au");
  EXPECT_EQ(names.NameOf(d_ding), "ding-2.au");
  EXPECT_EQ(names.NameOf(own), "bell-2.au");
  EXPECT_EQ(names.NameOf(e_bell), "Bell-4.au");
  EXPECT_EQ(names.NameOf(dir_.File("elsewhere.wav")), "");
}

TEST_F(SoundNamesTest, SameContentsShareOneName) {
  const std::string first = Write("one/bell.wav", Wave('\x10'));
  const std::string copy = Write("two/bell.wav", Wave('\x10'));
  const std::string other = Write("three/bell.wav", Wave('\x11'));
  const std::string other_copy = Write("four/bell.wav", Wave('\x11'));
  fs::create_directories(dir_.path() / "six");
  fs::create_symlink(first, dir_.path() / "six/bell.wav");
  const std::string link = dir_.File("six/bell.wav");
  // The same bytes as one/bell.wav, but as an .au name it is used as it is:
  // another sound.
  const std::string as_au = Write("five/bell.au", Wave('\x10'));
  SoundNames names({first, copy, first, other, other_copy, link, as_au, dir_.File("gone/bell.wav")});
  EXPECT_EQ(names.NameOf(first), "bell.au");
  EXPECT_EQ(names.NameOf(copy), "bell.au");
  EXPECT_EQ(names.NameOf(other), "bell-2.au");
  EXPECT_EQ(names.NameOf(other_copy), "bell-2.au");
  EXPECT_EQ(names.NameOf(link), "bell.au");
  EXPECT_EQ(names.NameOf(as_au), "bell-3.au");
  // A file that cannot be read shares with nothing.
  EXPECT_EQ(names.NameOf(dir_.File("gone/bell.wav")), "bell-4.au");
}

TEST_F(SoundNamesTest, SoundsAlreadyBesideThePageKeepTheirNames) {
  // The page's audio folder holds bell.au from an earlier run; this run
  // converts another bell.wav first and uses the old bell.au later.
  const std::string wave = Write("snd/bell.wav", Wave('\x10'));
  const std::string placed = Write("site/audio/bell.au", Au('\x70'));
  SoundNames names({wave, placed}, dir_.File("site/audio"));
  EXPECT_EQ(names.NameOf(placed), "bell.au");
  EXPECT_EQ(names.NameOf(wave), "bell-2.au");
  // Without the page's folder the first comer has it.
  SoundNames plain({wave, placed});
  EXPECT_EQ(plain.NameOf(wave), "bell.au");
  EXPECT_EQ(plain.NameOf(placed), "bell-2.au");
}


TEST(NamesInFolderTest, TakenNamesInTheFolderAreSkippedAndTheRunsOwnKeptApart) {
  // The folder: what each name holds for the sound that would take it.
  // "own" is a file the sound may replace, "same" its own contents.
  const std::map<std::string, std::string> folder = {
      {"bell.au", "user"}, {"bell-2.au", "user"}, {"BELL-3.AU", "user"},
      {"ding.au", "same"}, {"hum.au", "own"},     {"song-2.au", "user"}};
  auto fits = [&](size_t, const std::string& name) {
    for (const auto& [held, what] : folder)
      if (LowerCopy(held) == LowerCopy(name)) return what != "user";
    return true;
  };
  const std::vector<GivenName> given = {{"bell.au", "bell.au"}, {"ding.au", "ding.au"},
                                        {"hum.au", "hum.au"},   {"song.au", "song.au"},
                                        {"bell-4.au", "bell-4.au"},  // chosen by the user
                                        {"song-3.au", "song.au"}};   // two songs in the run
  EXPECT_EQ(NamesInFolder(given, fits),
            (std::vector<std::string>{"bell-5.au", "ding.au", "hum.au", "song.au", "bell-4.au",
                                      "song-3.au"}));
  // A run's own numbered name that the folder refuses moves on past the
  // names the run holds.
  const std::vector<GivenName> two = {{"song.au", "song.au"}, {"song-2.au", "song.au"}};
  EXPECT_EQ(NamesInFolder(two, fits), (std::vector<std::string>{"song.au", "song-3.au"}));
}

}  // namespace
}  // namespace sonavelt::audio
