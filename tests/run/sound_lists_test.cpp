#include "run/sound_lists.h"

#include <gtest/gtest.h>

namespace sonavelt::run {
namespace {

class SoundListsTest : public ::testing::Test {
 protected:
  DefaultSoundLists defaults_ = MakeDefaultSoundLists("/opt/s");
  StoredHistory stored_;
  SoundSet sounds_;
  SoundListSizer sizer_;
};

TEST_F(SoundListsTest, DefaultListsComeFromTheInstallFolder) {
  EXPECT_EQ(defaults_.entrance[0], "/opt/s/audio/ad/sonavelt.wav");
  EXPECT_EQ(defaults_.exit[3], "/opt/s/audio/event/doornoise2.wav");
  EXPECT_EQ(defaults_.background[1], "/opt/s/audio/bg/waltz.wav");
  // A text that runs out of pieces falls back to hi.au.
  std::vector<std::string> short_list = DefaultSoundList("a.wav;b.wav", "/opt/s/");
  EXPECT_EQ(short_list[0], "/opt/s/audio/a.wav");
  EXPECT_EQ(short_list[1], "/opt/s/audio/hi.au");
  EXPECT_EQ(short_list[3], "/opt/s/audio/hi.au");
}

TEST_F(SoundListsTest, FirstSizingTakesStoredEntriesThenDefaults) {
  stored_.osfs = "/a/one.wav;/a/two.au;/a/dangling.wav";
  sizer_.Size(4, stored_, defaults_, sounds_);
  EXPECT_EQ(sounds_.entrance_sounds,
            (std::vector<std::string>{"/a/one.wav", "/a/two.au", defaults_.entrance[2],
                                      defaults_.entrance[3]}));
  EXPECT_EQ(sounds_.exit_sounds, defaults_.exit);
  EXPECT_EQ(sounds_.combination_count, 4);
  EXPECT_TRUE(sizer_.history_lists_loaded());
}

TEST_F(SoundListsTest, MorePositionsThanDefaultsCycleAfterTheStoredOnes) {
  stored_.osfs = "/a/one.wav;";
  sizer_.Size(7, stored_, defaults_, sounds_);
  // Positions 1..3 take defaults 1..3, then 4.. go round 1, 2, 3 again.
  EXPECT_EQ(sounds_.entrance_sounds[4], defaults_.entrance[1]);
  EXPECT_EQ(sounds_.entrance_sounds[6], defaults_.entrance[3]);
  // Five stored entries: positions past them cycle through every default.
  SoundListSizer other;
  stored_.osfs = "1;2;3;4;5;";
  other.Size(7, stored_, defaults_, sounds_);
  EXPECT_EQ(sounds_.entrance_sounds[4], "5");
  EXPECT_EQ(sounds_.entrance_sounds[5], defaults_.entrance[1]);
}

TEST_F(SoundListsTest, LaterSizingsForgetCutEntriesAndReadStoredListsOnce) {
  stored_.osfs = "/a/1.wav;/a/2.wav;/a/3.wav;/a/4.wav;";
  sizer_.Size(4, stored_, defaults_, sounds_);
  sizer_.Size(2, stored_, defaults_, sounds_);
  sizer_.Size(3, stored_, defaults_, sounds_);
  EXPECT_EQ(sounds_.entrance_sounds,
            (std::vector<std::string>{"/a/1.wav", "/a/2.wav", defaults_.entrance[2]}));
  EXPECT_EQ(sizer_.previous_combination_count(), 3);
}

}  // namespace
}  // namespace sonavelt::run
