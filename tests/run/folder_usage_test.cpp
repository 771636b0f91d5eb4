#include "run/folder_usage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

#include "run/audio_placement.h"
#include "run/player_data.h"
#include "run/resource_text.h"

namespace sonavelt::run {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class FolderUsageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "folder-usage-XXXXXX").string();
    dir_ = mkdtemp(pattern.data());
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  // A resource file as a run writes it, for one combination per entry.
  void WriteResource(const std::string& base, const Names& entrance, const Names& exit,
                     const Names& background) {
    RunOptions options;
    options.no_background = background.empty();
    ConvertedSounds sounds;
    for (const std::string& name : entrance) sounds.entrance.push_back("/work/" + name);
    for (const std::string& name : exit) sounds.exit.push_back("/work/" + name);
    for (const std::string& name : background) sounds.background.push_back("/work/" + name);
    sounds.entrance_durations.assign(entrance.size(), "100");
    Status warning;
    const std::string text = ResourceText(options, static_cast<int>(entrance.size()), sounds,
                                          "#ffffff", "", &warning);
    ASSERT_TRUE(WriteResourceFile((dir_ / (base + ".res")).string(), text).ok());
  }
  void WriteData(const std::string& base, const Names& au, const Names& copies) {
    std::vector<BrowserSound> sounds;
    for (size_t i = 0; i < au.size(); ++i) {
      BrowserSound sound;
      sound.au_name = "audio/" + PercentEncodeName(au[i]);
      if (i < copies.size()) sound.copy_name = "audio/" + PercentEncodeName(copies[i]);
      sound.frame_count = 48000;
      sounds.push_back(sound);
    }
    Write(base + ".sounds.js", PlayerDataText(PercentEncodeName(base), "res", sounds));
  }
  FolderUsage Usage() const { return ReadFolderUsage(dir_.string()); }

  fs::path dir_;
};

TEST_F(FolderUsageTest, TwoPagesSharingAudioEachKnowTheirOwnFiles) {
  WriteResource("index", {"bell.au", "caf\xE9 1.au"}, {"ding.au", "ding.au"}, {"song.au", "song.au"});
  WriteData("index", {"bell.au", "caf\xE9 1.au", "ding.au", "song.au"},
            {"bell.opus", "caf\xE9 1.opus", "ding.opus", "song.opus"});
  WriteResource("other", {"bell.au"}, {"x,y;z.au"}, {});
  // Neither page's files, whatever else lies beside them.
  Write("other.local.js", "\"audio/stray.au\"");
  Write("notes.txt", "audio/bell.au");

  const FolderUsage usage = Usage();
  ASSERT_EQ(usage.pages().size(), 2u);
  EXPECT_EQ(usage.pages().at("index").audio_files,
            (std::set<std::string>{"bell.au", "bell.opus", "caf\xE9 1.au", "caf\xE9 1.opus",
                                   "ding.au", "ding.opus", "song.au", "song.opus"}));
  EXPECT_EQ(usage.pages().at("other").audio_files,
            (std::set<std::string>{"bell.au", "x,y;z.au"}));

  struct Case {
    std::string file;
    Names users;
  };
  for (const Case& c : std::vector<Case>{{"bell.au", {"index", "other"}},
                                         {"BELL.AU", {"index", "other"}},  // any letter case
                                         {"ding.opus", {"index"}},
                                         {"x,y;z.au", {"other"}},
                                         {"stray.au", {}},
                                         {"bell-2.au", {}}})
    EXPECT_EQ(usage.UsersOf(c.file), c.users) << c.file;

  EXPECT_TRUE(usage.Lists("index", "caf\xE9 1.au"));
  EXPECT_FALSE(usage.Lists("index", "BELL.au"));  // a page's own files: exact names
  EXPECT_TRUE(usage.UsedByOthers("bell.au", "index"));
  EXPECT_FALSE(usage.UsedByOthers("ding.au", "index"));
  EXPECT_EQ(usage.FilesOnlyUsedBy("other"), (Names{"x,y;z.au"}));
  EXPECT_EQ(usage.FilesOnlyUsedBy("index").size(), 7u);
  EXPECT_TRUE(usage.ClassFileUsedByOthers("index"));
  EXPECT_FALSE(usage.PlayerScriptUsedByOthers("index"));  // only index has a data file
  EXPECT_TRUE(usage.PlayerScriptUsedByOthers("other"));
}

TEST_F(FolderUsageTest, FilesThatCannotBeAttributedMakeTheirPageAUserOfEverything) {
  WriteResource("index", {"bell.au"}, {"ding.au"}, {});
  struct Case {
    const char* what;
    std::string name;
    std::string bytes;
  };
  const std::string good_length = std::string("\x02\0\0\0", 4);
  for (const Case& c : std::vector<Case>{
           {"another program's .res", "foreign.res", "RIFF....not ours"},
           {"a length that does not match", "cut.res", std::string("\x09\0\0\0\x82\x84", 6)},
           {"an odd byte", "odd.res", good_length + "\x83\x84"},
           {"too few fields", "short.res", good_length + "\x76\x76"},
           {"a data file of someone else", "x.sounds.js", "var sounds = [];"},
           {"a cut data file", "cut2.sounds.js",
            "(window.SonaveltPlayerData = {})[\"cut2\"] = {\"sounds\": [{\"au\": \"audio/a"},
       }) {
    SCOPED_TRACE(c.what);
    Write(c.name, c.bytes);
    const FolderUsage usage = Usage();
    const std::string base = c.name.substr(0, c.name.find('.'));
    ASSERT_EQ(usage.pages().count(base), 1u);
    EXPECT_TRUE(usage.pages().at(base).unknown);
    EXPECT_EQ(usage.pages().at(base).unread_files, (Names{c.name}));
    Names users{base, "index"};
    std::sort(users.begin(), users.end());
    EXPECT_EQ(usage.UsersOf("ding.au"), users);
    EXPECT_TRUE(usage.FilesOnlyUsedBy("index").empty());
    EXPECT_TRUE(usage.ClassFileUsedByOthers("index"));
    EXPECT_TRUE(usage.PlayerScriptUsedByOthers("index"));
    fs::remove(dir_ / c.name);
  }
  // A resource file this user may not read counts the same (root reads it).
  if (geteuid() != 0) {
    WriteResource("locked", {"a.au"}, {"b.au"}, {});
    chmod((dir_ / "locked.res").c_str(), 0);
    EXPECT_EQ(Usage().UsersOf("ding.au"), (Names{"index", "locked"}));
  }
}

TEST_F(FolderUsageTest, ASitesFilesReadAsBytesNameItsSoundsAsOnADisk) {
  WriteResource("index", {"bell.au"}, {"ding.au"}, {});
  WriteData("index", {"bell.au", "ding.au"}, {"bell.opus"});
  WriteResource("other", {"bell-2.au"}, {"ding.au"}, {});
  Write("notes.txt", "audio/bell.au");
  std::map<std::string, std::optional<std::string>> files;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    const std::string name = entry.path().filename().string();
    if (!IsPageRecordFile(name)) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files[name] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  ASSERT_EQ(files.size(), 3u);
  const FolderUsage disk = Usage();
  FolderUsage site = ReadFolderUsage(files);
  ASSERT_EQ(site.pages().size(), disk.pages().size());
  for (const auto& [base, page] : disk.pages()) {
    EXPECT_EQ(site.pages().at(base).audio_files, page.audio_files) << base;
    EXPECT_EQ(site.pages().at(base).found_files, page.found_files) << base;
  }

  // The site's audio/ as its listing gives it: index's own bell, the ding
  // both pages play, other's bell, and the user's own files.
  const Names audio = {"bell.au", "bell.opus", "ding.au", "bell-2.au", "Hum.au", "song.au"};
  struct Case {
    std::string sound;
    std::string copy;  // empty: none
    std::string named;
  };
  const std::vector<Case> cases = {
      {"bell.au", "bell.opus", "bell.au"},  // index placed both, no other page uses them
      {"ding.au", "", "ding-2.au"},         // other plays it too
      {"hum.au", "", "hum-2.au"},           // the user's, in another letter case
      {"song.au", "", "song-2.au"},         // the user's
      {"new.au", "new.opus", "new.au"},     // free
  };
  std::vector<SoundToPlace> sounds;
  for (const Case& c : cases)
    sounds.push_back({"/work/" + c.sound, c.sound, c.copy.empty() ? "" : "/work/" + c.copy});
  AudioPlan plan = PlanSiteAudioFolder(audio, site, "index", sounds);
  ASSERT_EQ(plan.au_names.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(plan.au_names[i], cases[i].named) << i;
  EXPECT_EQ(plan.copy_names[0], "bell.opus");
  EXPECT_EQ(plan.copy_names[4], "new.opus");
  for (const PlacedFile& file : plan.files) {
    EXPECT_TRUE(file.write) << file.name;  // a site's bytes are never compared
    EXPECT_FALSE(file.found) << file.name;
  }
  // A page file that could not be fetched makes every name there taken.
  files["broken.sounds.js"] = std::nullopt;
  site = ReadFolderUsage(files);
  EXPECT_TRUE(site.pages().at("broken").unknown);
  plan = PlanSiteAudioFolder(audio, site, "index", sounds);
  EXPECT_EQ(plan.au_names[0], "bell-3.au");
  EXPECT_EQ(plan.au_names[4], "new.au");
}

TEST_F(FolderUsageTest, FilesFoundAsTheUsersOwnAreNeverThePagesToRemove) {
  WriteResource("index", {"chime.au"}, {"ding.au"}, {});
  std::vector<BrowserSound> sounds(2);
  sounds[0].au_name = "audio/chime.au";
  sounds[0].copy_name = "audio/chime.opus";
  sounds[0].au_found = true;  // the user's chime, chosen where it lay
  sounds[1].au_name = "audio/ding.au";
  sounds[1].copy_name = "audio/ding.opus";
  sounds[1].copy_found = true;
  Write("index.sounds.js", PlayerDataText("index", "res", sounds));
  const FolderUsage usage = Usage();
  EXPECT_EQ(usage.pages().at("index").found_files,
            (std::set<std::string>{"chime.au", "ding.opus"}));
  EXPECT_TRUE(usage.Lists("index", "chime.au"));
  EXPECT_FALSE(usage.Placed("index", "chime.au"));
  EXPECT_TRUE(usage.Placed("index", "ding.au"));
  EXPECT_EQ(usage.FilesOnlyUsedBy("index"), (Names{"chime.opus", "ding.au"}));
  // Still a user of them: no other page may replace them.
  EXPECT_EQ(usage.UsersOf("chime.au"), (Names{"index"}));
}

TEST_F(FolderUsageTest, OlderResourceFilesAndOddEntriesAreRead) {
  // Version 1 stored names as they were: "%41" there is three characters.
  const std::string v1 = "http://x/ ;audio/a%41.au;audio/b.au;audio/c.au;100; ;255,255,255;"
                         "N;Y;Y;Y;N;N; ; ; ;";
  std::string bytes;
  ASSERT_TRUE(EncodeResourceText(v1, &bytes).ok());
  Names names;
  ASSERT_TRUE(ResourceFileAudioNames(bytes, &names));
  EXPECT_EQ(names, (Names{"a%41.au", "b.au", "c.au"}));
  EXPECT_EQ(PercentDecode("a%41%2c%zz%4"), "aA,%zz%4");
  // A data file's names come back through its escapes.
  names.clear();
  ASSERT_TRUE(PlayerDataAudioNames(
      "SonaveltPlayerData \"sounds\": [{\"au\": \"audio/q\\\"\\u003c.au\", \"copy\": \"\", "
      "\"frames\": 0}]",
      &names));
  EXPECT_EQ(names, (Names{"q\"<.au"}));
}

}  // namespace
}  // namespace sonavelt::run
