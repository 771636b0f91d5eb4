#include "run/browser_copies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "audio/wave_converter.h"

#include "tests/support/temp_dir.h"

namespace sonavelt::run {
namespace {

// The fields FillBrowserCopyFields fills, as the player's entries carry them.
struct Entry {
  std::string au_name;
  std::string au_path;
  std::string copy_name;
  std::string copy_path;
  uint64_t frame_count = 0;
};

TEST(BrowserCopiesTest, OneCopyPerAuNamedAfterItFromTheOriginalSource) {
  testing::TempDir dir;
  const std::string wide = dir.File("Wide Song.flac");
  if (std::system(("sox -n -r 44100 -c 2 '" + wide + "' synth 0.5 sine 440 2>/dev/null").c_str()) != 0) {
    if (std::getenv("CI") != nullptr) FAIL() << "sox is not installed";
    GTEST_SKIP() << "sox is not installed";
  }
  const std::string au = dir.File("bell.au");
  ASSERT_EQ(std::system(("sox -n -r 8000 -e mu-law '" + au + "' synth 0.25 sine 440").c_str()), 0);
  std::filesystem::create_directory(dir.File("work"));

  std::vector<RunSound> sounds;
  // Entrance: the FLAC (converted to a cache .au) twice; exit: an .au as it is.
  AddRunSounds({wide, wide}, {dir.File("cache/Wide Song.au"), dir.File("cache/Wide Song.au")},
               &sounds);
  AddRunSounds({au, au}, {au, ""}, &sounds);
  ASSERT_EQ(sounds.size(), 3u);

  BrowserCopies copies;
  Status status = MakeBrowserCopies(sounds, dir.File("work"), {}, &copies);
  ASSERT_TRUE(status.ok()) << status.message();
  ASSERT_EQ(copies.size(), 2u);
  const BrowserCopyFile& song = copies.at(dir.File("cache/Wide Song.au"));
  EXPECT_EQ(song.path, dir.File("work/Wide Song.opus"));
  EXPECT_EQ(song.frames, 24000u);  // half a second at 48 kHz, made from the FLAC itself
  EXPECT_EQ(copies.at(au).frames, 12000u);
  EXPECT_TRUE(std::filesystem::exists(song.path));

  std::vector<Entry> entries(2);
  entries[0].au_name = "audio/Wide%20Song.au";
  entries[0].au_path = dir.File("cache/Wide Song.au");
  entries[1].au_name = "audio/other.au";
  entries[1].au_path = dir.File("other.au");
  FillBrowserCopyFields(copies, &entries);
  EXPECT_EQ(entries[0].copy_name, "audio/Wide%20Song.opus");
  EXPECT_EQ(entries[0].copy_path, song.path);
  EXPECT_EQ(entries[0].frame_count, 24000u);
  EXPECT_EQ(entries[1].copy_name, "");  // no copy: the player uses the .au
  EXPECT_EQ(entries[1].frame_count, 0u);

  // A source that went bad fails the step, naming it.
  std::filesystem::resize_file(wide, 50);
  BrowserCopies again;
  status = MakeBrowserCopies(sounds, dir.File("work"), {}, &again);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find(wide), std::string::npos) << status.message();
}

// The copy is made from what the conversion decoded: the source is not
// read again (here it has gone bad by the time the copy is made), and the
// progress counts the conversion and the copy by their work, up to the
// whole.
TEST(BrowserCopiesTest, TheConversionsDecodingMakesTheCopy) {
  testing::TempDir dir;
  const std::string song = dir.File("song.wav");
  if (std::system(("sox -n -r 44100 -c 2 -b 16 '" + song + "' synth 2 sine 440 2>/dev/null").c_str()) != 0) {
    if (std::getenv("CI") != nullptr) FAIL() << "sox is not installed";
    GTEST_SKIP() << "sox is not installed";
  }
  std::filesystem::create_directory(dir.File("work"));
  const std::string au = dir.File("work/song.au");
  std::vector<int> told;
  BrowserCopyMaker maker({{song, au, false}, {song, au, true}}, dir.File("work"), {},
                         [&](const std::string& source, int permille) {
                           EXPECT_EQ(source, song);
                           told.push_back(permille);
                         });
  EXPECT_EQ(maker.permille(), 0);
  audio::ConversionControl control;
  control.decoded = maker.DecodedSinkFor(au);
  ASSERT_NE(control.decoded, nullptr);
  control.report_progress = [&](int percent) { maker.ConversionDone(au, percent); };
  ASSERT_EQ(audio::ConvertWaveFile(song, au, control).outcome, audio::ConversionOutcome::kConverted);
  const int converted = maker.permille();
  // Converting a WAVE is a small part of the work; the copy the most.
  EXPECT_GT(converted, 0);
  EXPECT_LT(converted, 200);
  std::filesystem::resize_file(song, 50);
  maker.Queue(au);
  BrowserCopies copies;
  Status status = maker.Finish(&copies);
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(copies.at(au).frames, 96000u);  // two seconds at 48 kHz, as a loop
  ASSERT_FALSE(told.empty());
  EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
  EXPECT_EQ(told.back(), 1000);
}

TEST(BrowserCopiesTest, CopyNames) {
  EXPECT_EQ(BrowserCopyNameFor("x.au"), "x.opus");
  EXPECT_EQ(BrowserCopyNameFor("audio/X.AU"), "audio/X.opus");
  EXPECT_EQ(BrowserCopyNameFor("my.audio"), "my.audio.opus");
}

}  // namespace
}  // namespace sonavelt::run
