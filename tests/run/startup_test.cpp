#include "run/startup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "run/run_history.h"
#include "run/settings_store.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::run {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteFile;

TEST(InstallFolderTest, StoredPathThenFolderBesideProgramThenCurrentFolder) {
  TempDir dir;
  fs::create_directories(dir.path() / "share" / "sonavelt");
  fs::create_directories(dir.path() / "bin");
  std::string bin = (dir.path() / "bin").string();
  EXPECT_EQ(ChooseInstallFolder("/stored", bin, "/cwd"), "/stored");
  EXPECT_EQ(ChooseInstallFolder("", bin, "/cwd"), (dir.path() / "share" / "sonavelt").string());
  EXPECT_EQ(ChooseInstallFolder("", "/nowhere/bin", "/cwd"), "/cwd");
  EXPECT_EQ(ChooseInstallFolder("", "", "/cwd"), "/cwd");
}

TEST(InstallFolderTest, WorkFoldersInsideAWritableFolderElseInUserData) {
  TempDir dir;
  InstallPaths paths = MakeInstallPaths(dir.path().string() + "/", "/home/u/.local/share");
  EXPECT_TRUE(paths.cache_folder.empty());  // the front end's private folder
  EXPECT_EQ(paths.history_folder, dir.path().string() + "/HISTORY");
  EXPECT_EQ(paths.applet_class_path,
            dir.path().string() + "/SonaveltRandomEventBackground.class");
  InstallPaths elsewhere = MakeInstallPaths("/no/such/install", "/home/u/.local/share");
  EXPECT_EQ(elsewhere.history_folder, "/home/u/.local/share/sonavelt/HISTORY");
  EXPECT_EQ(elsewhere.applet_class_path, "/no/such/install/SonaveltRandomEventBackground.class");
  // A packaged install folder is never written, even when it could be (root).
  WriteFile(dir.path() / kSystemWideMarker, "");
  InstallPaths packaged = MakeInstallPaths(dir.path().string(), "/home/u/.local/share");
  EXPECT_EQ(packaged.history_folder, "/home/u/.local/share/sonavelt/HISTORY");
  EXPECT_EQ(packaged.applet_class_path, dir.path().string() + "/SonaveltRandomEventBackground.class");
}

TEST(StartUpChoicesTest, NothingStoredGivesTheSamplePageAndDefaults) {
  InstallPaths paths = MakeInstallPaths("/opt/s", "");
  StartUpChoices c = ChoicesFromHistory(StoredHistory{}, paths);
  EXPECT_EQ(c.page.local_html_path, "/opt/s/samples/sample.htm");
  EXPECT_EQ(c.sounds.combination_count, 4);
  EXPECT_TRUE(c.options.random_order);
  EXPECT_FALSE(c.options.safety_key);
  EXPECT_FALSE(c.options.no_background);
  EXPECT_FALSE(c.options.background_initially_on);
  EXPECT_TRUE(c.options.entrance_on);
  EXPECT_TRUE(c.options.exit_on);
  EXPECT_FALSE(c.options.invisible_applet);
}

TEST(StartUpChoicesTest, StoredSwitchesAreComparedUpperCased) {
  StoredHistory stored;
  stored.html_file = "/p/index.htm";
  stored.nb = "yes";
  stored.oss = "off";
  stored.css = "Off";
  stored.bss = "on";
  stored.iv = "YES";
  stored.hp = "yes";
  stored.combination_count = 2;
  StartUpChoices c = ChoicesFromHistory(stored, MakeInstallPaths("/opt/s", ""));
  EXPECT_EQ(c.page.local_html_path, "/p/index.htm");
  EXPECT_TRUE(c.options.no_background);
  EXPECT_FALSE(c.options.entrance_on);
  EXPECT_FALSE(c.options.exit_on);
  EXPECT_TRUE(c.options.background_initially_on);
  EXPECT_TRUE(c.options.invisible_applet);
  EXPECT_TRUE(c.options.browser_player);
  EXPECT_EQ(c.sounds.combination_count, 2);
  // Nothing stored: the browser player, its control where the block is. A
  // stored "NO" and a stored corner stay as they are.
  StartUpChoices fresh = ChoicesFromHistory(StoredHistory{}, MakeInstallPaths("/opt/s", ""));
  EXPECT_TRUE(fresh.options.browser_player);
  EXPECT_EQ(fresh.options.player_position, PlayerPosition::kInBlock);
  stored.hp = "NO";
  stored.pp = "bottom-right";
  c = ChoicesFromHistory(stored, MakeInstallPaths("/opt/s", ""));
  EXPECT_FALSE(c.options.browser_player);
  EXPECT_EQ(c.options.player_position, PlayerPosition::kBottomRight);
  stored.pp = "middle";
  EXPECT_EQ(ChoicesFromHistory(stored, MakeInstallPaths("/opt/s", "")).options.player_position,
            PlayerPosition::kInBlock);
}

TEST(SettingsStoreTest, HistoryRoundTripsAndGarbageGivesDefaults) {
  TempDir dir;
  std::string ini = dir.File("Sonavelt.ini");
  {
    SettingsStore store(ini);
    PageTarget page;
    page.local_html_path = "/p/a, b.htm";
    SoundSet sounds;
    sounds.combination_count = 2;
    sounds.entrance_sounds = {"/s/one.wav", "/s/two;three.au"};
    sounds.exit_sounds = {"/s/x.au", "/s/y.au"};
    sounds.background_sounds = {"/s/b.wav", "/s/b.wav", "/s/extra.wav"};
    RunOptions options;
    options.no_background = true;
    options.browser_player = true;
    options.player_position = PlayerPosition::kTopLeft;
    store.WriteHistory(HistoryOfRun(page, sounds, options));
    store.SetAppPath("/opt/sonavelt");
  }
  SettingsStore store(ini);
  StoredHistory h = store.History();
  EXPECT_EQ(h.html_file, "/p/a, b.htm");
  EXPECT_EQ(h.nb, "YES");
  EXPECT_EQ(h.hp, "YES");
  EXPECT_EQ(h.pp, "TOP-LEFT");
  EXPECT_EQ(h.oss, "ON");
  EXPECT_EQ(h.bss, "OFF");
  EXPECT_EQ(h.combination_count, 2);
  EXPECT_EQ(h.osfs, "/s/one.wav;/s/two;three.au;");
  EXPECT_EQ(h.bsfs, "/s/b.wav;/s/b.wav;");  // stored even without background sound
  EXPECT_EQ(store.AppPath(), "/opt/sonavelt");

  for (const char* garbage : {"-5", "1000000000", "four", ""}) {
    WriteFile(ini, std::string("[V1.0]\nEvaluation\\History\\NOSNDCOMB=") + garbage +
                       "\nEvaluation\\History\\OSFs=a.wav,b.wav\n");
    SettingsStore reread(ini);
    EXPECT_EQ(reread.History().combination_count, 4) << garbage;
    EXPECT_EQ(reread.History().osfs, "a.wav,b.wav");
  }
}

}  // namespace
// A run killed while it took the settings file's lock leaves the lock empty.
// The next run, right after, stores its choices within about a second, where
// QSettings alone waits 30 seconds for that lock.
TEST(SettingsStoreTest, AnEmptyLockLeftByAKilledRunDoesNotHoldTheNextRun) {
  TempDir dir;
  const std::string ini = dir.File("Sonavelt.ini");
  WriteFile(ini + ".lock", "");
  const auto start = std::chrono::steady_clock::now();
  {
    SettingsStore store(ini);
    store.SetAppPath("/opt/sonavelt");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(SettingsStore(ini).AppPath(), "/opt/sonavelt");
}

}  // namespace sonavelt::run
