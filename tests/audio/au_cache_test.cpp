#include "audio/au_cache.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "audio/sun_au_reader.h"
#include "tests/support/wave_bytes.h"
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

  testing::TempDir dir_;
  AuCache cache_;
  testing::RecordingUserInterface ui_;
};

TEST_F(AuCacheTest, PreviewCopiesFollowTheSameRules) {
  std::string a = Write("one/hi.au", testing::AuFile(24, 1, 8000, 1, "", std::string(10, '\xFF')));
  std::string b = Write("two/hi.au", testing::AuFile(24, 1, 8000, 1, "", std::string(20, '\x00')));
  AuPreviewCopy first(a, cache_);
  Show(ui_, first.status());
  AuPreviewCopy second(b, cache_);
  Show(ui_, second.status());
  ASSERT_TRUE(first.success());
  ASSERT_TRUE(second.success());
  EXPECT_EQ(first.wav_path(), cache_.cache_folder() + "/hi.wav");
  EXPECT_EQ(second.wav_path(), cache_.cache_folder() + "/hi-2.wav");
  EXPECT_EQ(testing::ReadFile(second.wav_path()).substr(44), std::string(20, '\x02'));

  Write("one/hi.au", testing::AuFile(24, 1, 8000, 1, "", std::string(5, '\x80')));
  Touch(a, 5);
  AuPreviewCopy again(a, cache_);
  Show(ui_, again.status());
  EXPECT_EQ(again.wav_path(), first.wav_path());
  EXPECT_EQ(testing::ReadFile(again.wav_path()).substr(44), std::string(5, '\xFD'));
  // Unchanged: the copy is current; asked by another spelling of its path too.
  EXPECT_TRUE(cache_.HasCurrentPreview(dir_.File("two/../two/hi.au")));
  EXPECT_EQ(cache_.PreviewPathFor(dir_.File("two/../two/hi.au")), second.wav_path());
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_F(AuCacheTest, UnrecordedFilesAreNotTrusted) {
  // Left in the cache folder by an earlier program: replaced, not reused.
  std::string a = Write("one/hi.au", testing::AuFile(24, 1, 8000, 1, "", std::string(10, '\xFF')));
  fs::create_directories(cache_.cache_folder());
  testing::WriteFile(cache_.cache_folder() + "/hi.wav", "stale");
  EXPECT_FALSE(cache_.HasCurrentPreview(a));
  AuPreviewCopy copy(a, cache_);
  Show(ui_, copy.status());
  ASSERT_TRUE(copy.success());
  EXPECT_EQ(testing::ReadFile(copy.wav_path()).size(), 44u + 10u);
  // A copy removed from the cache is made again.
  fs::remove(copy.wav_path());
  EXPECT_FALSE(cache_.HasCurrentPreview(a));
}

}  // namespace
}  // namespace sonavelt::audio
