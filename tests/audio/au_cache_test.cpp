#include "audio/au_cache.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "audio/sound_checks.h"
#include "audio/sun_au_reader.h"
#include "audio/wave_converter.h"
#include "tests/audio/wave_bytes.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::audio {
namespace {

namespace fs = std::filesystem;

class AuCacheTest : public ::testing::Test {
 protected:
  AuCacheTest() : cache_(dir_.File("cache")) {
    fs::create_directories(dir_.path() / "one");
    fs::create_directories(dir_.path() / "two");
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = dir_.File(name);
    testing::WriteFile(path, bytes);
    return path;
  }
  // A source's modification time moved on, as an editor saving it would.
  void Touch(const std::string& path, int seconds) {
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(seconds));
  }
  std::string Convert(const std::string& path, ConversionOutcome* outcome) {
    return ConvertIfWav(path, cache_, ui_, control_, outcome);
  }

  testing::TempDir dir_;
  AuCache cache_;
  testing::RecordingUserInterface ui_;
  ConversionControl control_;
};

TEST_F(AuCacheTest, NamesComeFromTheSourceName) {
  EXPECT_EQ(AuCache::AuNameOf("C:\\Sounds\\Bell.WAV"), "Bell.au");
  EXPECT_EQ(AuCache::AuNameOf("/snd/x.wav.d/bell.wav"), "x.au");  // cut at the first ".wav"
  EXPECT_EQ(AuCache::PreviewNameOf("/snd/Hi.AU"), "Hi.wav");
  EXPECT_EQ(cache_.AuPathFor("/a/Bell.WAV"), dir_.File("cache") + "/Bell.au");

  ConversionOutcome outcome;
  EXPECT_EQ(Convert("/snd/hi.au", &outcome), "/snd/hi.au");
  EXPECT_EQ(outcome, ConversionOutcome::kNotWave);
}

TEST_F(AuCacheTest, SameNameFromAnotherFolderGetsItsOwnFile) {
  std::string first = Write("one/bell.wav", testing::Wave(1, 8000, 8, std::string(100, '\x80')));
  std::string second = Write("two/bell.wav", testing::Wave(1, 8000, 8, std::string(50, '\xF0')));
  ConversionOutcome outcome;
  std::string au1 = Convert(first, &outcome);
  EXPECT_EQ(outcome, ConversionOutcome::kConverted);
  std::string au2 = Convert(second, &outcome);
  EXPECT_EQ(outcome, ConversionOutcome::kConverted);
  EXPECT_EQ(au1, dir_.File("cache") + "/bell.au");
  EXPECT_EQ(au2, dir_.File("cache") + "/bell-2.au");
  EXPECT_EQ(testing::ReadFile(au1).size(), 134u);
  EXPECT_EQ(testing::ReadFile(au2).size(), 84u);

  // Asked again, each source answers its own file without converting.
  EXPECT_EQ(Convert(first, &outcome), au1);
  EXPECT_EQ(outcome, ConversionOutcome::kReused);
  EXPECT_EQ(Convert(dir_.File("two/../two/bell.wav"), &outcome), au2);
  EXPECT_EQ(outcome, ConversionOutcome::kReused);
}

TEST_F(AuCacheTest, ChangedSourceIsConvertedAgainAndCheckedAgain) {
  std::string path = Write("bell.wav", testing::Wave(1, 8000, 8, std::string(100, '\x80')));
  ConversionOutcome outcome;
  std::string au = Convert(path, &outcome);
  ASSERT_EQ(outcome, ConversionOutcome::kConverted);

  // Unchanged: the check passes at once, with no question and no frames counted.
  WaveCheckState state{true, 0};
  EXPECT_TRUE(CheckSoundFile(path, cache_, state, ui_));
  EXPECT_TRUE(ui_.calls.empty());
  EXPECT_EQ(state.max_wave_frames, 0);

  // Replaced (a replaced file may even carry an older time): examined again,
  // and converted again under the same name.
  Write("bell.wav", testing::Wave(2, 44100, 16, std::string(400, '\0')));
  Touch(path, -3600);
  EXPECT_TRUE(CheckSoundFile(path, cache_, state, ui_));
  EXPECT_EQ(ui_.Questions().size(), 1u);
  EXPECT_EQ(state.max_wave_frames, 100);
  EXPECT_EQ(Convert(path, &outcome), au);
  EXPECT_EQ(outcome, ConversionOutcome::kConverted);
  EXPECT_EQ(testing::ReadFile(au).size(), 34u + 18u);  // 100 frames of 44100 Hz

  // Replaced by a file the check refuses: refused, not waved through.
  Write("bell.wav", "not a sound");
  Touch(path, 10);
  EXPECT_FALSE(CheckSoundFile(path, cache_, state, ui_));
  EXPECT_EQ(ui_.Messages().size(), 1u);
  // Converting it fails, and the older conversion does not pass for it.
  EXPECT_EQ(Convert(path, &outcome), au);
  EXPECT_EQ(outcome, ConversionOutcome::kRefused);
  EXPECT_FALSE(fs::exists(au));

  // A converted file removed from the cache is made again.
  Write("bell.wav", testing::Wave(1, 8000, 8, std::string(10, '\x80')));
  ASSERT_EQ(Convert(path, &outcome), au);
  fs::remove(au);
  EXPECT_EQ(Convert(path, &outcome), au);
  EXPECT_EQ(outcome, ConversionOutcome::kConverted);
}

TEST_F(AuCacheTest, UnrecordedOrCancelledFilesAreNotTrusted) {
  std::string path = Write("bell.wav", testing::Wave(1, 8000, 8, std::string(20, '\x80')));
  // Left in the cache folder by an earlier program: replaced, not reused.
  fs::create_directories(cache_.cache_folder());
  testing::WriteFile(cache_.cache_folder() + "/bell.au", "stale");
  ConversionOutcome outcome;
  std::string au = Convert(path, &outcome);
  EXPECT_EQ(outcome, ConversionOutcome::kConverted);
  EXPECT_EQ(testing::ReadFile(au).size(), 54u);

  std::atomic<bool> cancel{true};
  control_.cancel_requested = &cancel;
  std::string other = Write("other.wav", testing::Wave(1, 8000, 8, std::string(20, '\x80')));
  Convert(other, &outcome);
  EXPECT_EQ(outcome, ConversionOutcome::kCancelled);
  EXPECT_FALSE(cache_.HasCurrentAu(other));
  cancel = false;
  Convert(other, &outcome);
  EXPECT_EQ(outcome, ConversionOutcome::kConverted);
}

TEST_F(AuCacheTest, PreviewCopiesFollowTheSameRules) {
  std::string a = Write("one/hi.au", testing::AuFile(24, 1, 8000, 1, "", std::string(10, '\xFF')));
  std::string b = Write("two/hi.au", testing::AuFile(24, 1, 8000, 1, "", std::string(20, '\x00')));
  AuPreviewCopy first(a, cache_, ui_);
  AuPreviewCopy second(b, cache_, ui_);
  ASSERT_TRUE(first.success());
  ASSERT_TRUE(second.success());
  EXPECT_EQ(first.wav_path(), cache_.cache_folder() + "/hi.wav");
  EXPECT_EQ(second.wav_path(), cache_.cache_folder() + "/hi-2.wav");
  EXPECT_EQ(testing::ReadFile(second.wav_path()).substr(44), std::string(20, '\x02'));

  Write("one/hi.au", testing::AuFile(24, 1, 8000, 1, "", std::string(5, '\x80')));
  Touch(a, 5);
  AuPreviewCopy again(a, cache_, ui_);
  EXPECT_EQ(again.wav_path(), first.wav_path());
  EXPECT_EQ(testing::ReadFile(again.wav_path()).substr(44), std::string(5, '\xFD'));
  EXPECT_TRUE(ui_.calls.empty());
}

}  // namespace
}  // namespace sonavelt::audio
