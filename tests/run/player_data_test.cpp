#include "run/player_data.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "run/folder_usage.h"
#include "run/startup.h"

namespace sonavelt::run {
namespace {

namespace fs = std::filesystem;

class PlayerDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("sonavelt-player-data-" + std::to_string(getpid()));
    fs::create_directories(dir_ / "audio");
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

  fs::path dir_;
};

TEST_F(PlayerDataTest, EachSoundOnceInCombinationOrderNamedAsTheResourceFileNamesIt) {
  ConvertedSounds converted;
  converted.entrance = {"/c/in 1.au", "/c/in2.au"};
  converted.exit = {"/c/out.au", "/c/out.au"};
  converted.background = {"/c/bg\xE9.au", "/c/in 1.au"};
  std::vector<BrowserSound> sounds = BrowserSoundsOf(converted);
  std::vector<std::string> names;
  for (const BrowserSound& s : sounds) names.push_back(s.au_name);
  EXPECT_EQ(names, (std::vector<std::string>{"audio/in%201.au", "audio/out.au", "audio/bg%E9.au",
                                             "audio/in2.au"}));
  EXPECT_EQ(sounds[0].au_path, "/c/in 1.au");
  EXPECT_TRUE(sounds[0].copy_name.empty());
}

TEST_F(PlayerDataTest, DataFileCarriesTheResourceAndEachCopyWithItsLength) {
  std::vector<BrowserSound> sounds(2);
  sounds[0].au_name = "audio/a.au";
  sounds[0].copy_name = "audio/a.opus";
  sounds[0].frame_count = 96001;
  sounds[1].au_name = "audio/b\"</script>.au";
  sounds[1].frame_count = 5;  // no copy: no length either
  std::string text = PlayerDataText("my%20page", std::string("\x03\0\0\0abc", 7), sounds);
  EXPECT_NE(text.find("(window.SonaveltPlayerData = window.SonaveltPlayerData || {})[\"my%20page\"]"),
            std::string::npos);
  // base64 of 03 00 00 00 61 62 63
  EXPECT_NE(text.find("\"resource\": \"AwAAAGFiYw==\""), std::string::npos) << text;
  EXPECT_NE(text.find("{\"au\": \"audio/a.au\", \"copy\": \"audio/a.opus\", \"frames\": 96001}"),
            std::string::npos);
  EXPECT_NE(text.find("{\"au\": \"audio/b\\\"\\u003c/script>.au\", \"copy\": \"\", \"frames\": 0}"),
            std::string::npos)
      << text;
}

// The record for taking the player off again reads back, never from a
// sound's name, and the folder's usage still reads the file's sounds.
TEST_F(PlayerDataTest, FirstRunBodyEditIsRecordedBesideTheSounds) {
  std::vector<BrowserSound> sounds(1);
  sounds[0].au_name = "audio/firstRunBodyEdit%22: %22body.au";
  const std::string text = PlayerDataText("index", "res", sounds, "bgcolor");
  EXPECT_EQ(RecordedFirstRunBodyEdit(text), "bgcolor");
  EXPECT_EQ(RecordedFirstRunBodyEdit(PlayerDataText("index", "res", sounds)), "");
  EXPECT_EQ(RecordedFirstRunBodyEdit(""), "");
  std::vector<std::string> names;
  ASSERT_TRUE(PlayerDataAudioNames(text, &names));
  EXPECT_EQ(names, std::vector<std::string>{"firstRunBodyEdit\": \"body.au"});
}

TEST_F(PlayerDataTest, WritesBothFilesAndThePreviewHoldsEveryFile) {
  std::string resource = Write("index.res", std::string("\x01\0\0\0\x82", 5));
  std::vector<BrowserSound> sounds(1);
  sounds[0].au_name = "audio/a.au";
  sounds[0].au_path = Write("audio/a.au", "ab");
  sounds[0].copy_name = "audio/a.opus";
  sounds[0].copy_path = Write("audio/a.opus", "OggS!");
  sounds[0].frame_count = 48000;
  std::vector<std::string> written;
  ASSERT_TRUE(WritePlayerFiles(dir_.string(), "index", resource, sounds, true, &written).ok());
  EXPECT_EQ(written, (std::vector<std::string>{(dir_ / "index.sounds.js").string(),
                                               (dir_ / "index.local.js").string()}));
  EXPECT_NE(Read("index.sounds.js").find("\"resource\": \"AQAAAII=\""), std::string::npos);
  std::string preview = Read("index.local.js");
  EXPECT_NE(preview.find("[\"index\"] = {\n\"index.res\": \"AQAAAII=\",\n"
                         "\"audio/a.au\": \"YWI=\",\n\"audio/a.opus\": \"T2dnUyE=\"};\n"),
            std::string::npos)
      << preview;

  // A sound that cannot be read fails the preview by its name; the data file
  // was still written whole.
  fs::remove(dir_ / "index.local.js");
  sounds[0].copy_path = (dir_ / "audio" / "gone.opus").string();
  written.clear();
  Status status = WritePlayerFiles(dir_.string(), "index", resource, sounds, true, &written);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("gone.opus"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "index.local.js"));
  EXPECT_EQ(written.size(), 1u);
  // Without the preview only the data file is written.
  ASSERT_TRUE(WritePlayerFiles(dir_.string(), "index", resource, sounds, false, &written).ok());
  EXPECT_FALSE(fs::exists(dir_ / "index.local.js"));
}

}  // namespace
}  // namespace sonavelt::run
