#include "run/startup.h"

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "run/run_history.h"
#include "settings/address_history_store.h"
#include "settings/settings_store.h"
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

// The probe leaves no name in the folder, so a program killed while it
// probes leaves nothing; names older versions left are removed when their
// program is gone.
TEST(InstallFolderTest, WriteProbeCreatesNoNamedFile) {
  TempDir dir;
  WriteFile(dir.path() / ".sonavelt-write-probe-999999999", "");
  const std::string live = ".sonavelt-write-probe-" + std::to_string(getpid());
  WriteFile(dir.path() / live, "");
  const int watch = inotify_init1(IN_NONBLOCK);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, dir.path().c_str(), IN_CREATE | IN_MOVED_TO), 0);
  EXPECT_TRUE(IsWritableFolder(dir.path().string()));
  char events[4096];
  EXPECT_LT(read(watch, events, sizeof events), 0) << "the probe created a name";
  close(watch);
  EXPECT_FALSE(fs::exists(dir.path() / ".sonavelt-write-probe-999999999"));
  EXPECT_TRUE(fs::exists(dir.path() / live));
  EXPECT_FALSE(IsWritableFolder((dir.path() / "missing").string()));
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

// The shipped sample is never the page a run takes by itself: the user's
// copy stands in for it, also for a page stored by an earlier version.
TEST(StartUpChoicesTest, TheSamplePageIsTheUsersCopy) {
  InstallPaths paths = MakeInstallPaths("/usr/share/sonavelt", "/home/u/.local/share");
  EXPECT_EQ(paths.sample_page, "/home/u/.local/share/sonavelt/sample/sample.htm");
  StoredHistory stored;
  for (const char* page : {"", "/usr/share/sonavelt/samples/sample.htm",
                           "/usr/share/sonavelt/./samples//sample.htm"}) {
    stored.html_file = page;
    EXPECT_EQ(ChoicesFromHistory(stored, paths).page.local_html_path, paths.sample_page) << page;
  }
  stored.html_file = "/home/u/samples/sample.htm";
  EXPECT_EQ(ChoicesFromHistory(stored, paths).page.local_html_path, stored.html_file);
}

TEST(StartUpChoicesTest, TheSampleCopyIsMadeOnceAndThenLeftAlone) {
  TempDir dir;
  fs::create_directories(dir.path() / "install/samples");
  WriteFile(dir.path() / "install/samples/sample.htm", "<html>shipped</html>");
  InstallPaths paths =
      MakeInstallPaths((dir.path() / "install").string(), (dir.path() / "data").string());
  ASSERT_TRUE(MakeSampleCopy(paths).ok());
  EXPECT_EQ(testing::ReadFile(paths.sample_page), "<html>shipped</html>");
  EXPECT_EQ(fs::status(paths.sample_page).permissions(), static_cast<fs::perms>(0644));
  WriteFile(paths.sample_page, "<html>the user's runs</html>");
  ASSERT_TRUE(MakeSampleCopy(paths).ok());
  EXPECT_EQ(testing::ReadFile(paths.sample_page), "<html>the user's runs</html>");
  // A data folder that cannot be made says why.
  WriteFile(dir.path() / "file", "");
  InstallPaths blocked =
      MakeInstallPaths((dir.path() / "install").string(), (dir.path() / "file").string());
  EXPECT_FALSE(MakeSampleCopy(blocked).ok());
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

// Paths are the system's bytes: one that is not UTF-8 comes back exactly,
// and one that is stays plain text in the file.
TEST(SettingsStoreTest, PathsThatAreNotUtf8ComeBackByteForByte) {
  TempDir dir;
  const std::string ini = dir.File("Sonavelt.ini");
  const std::string latin1 = "/home/u/caf\xe9/index.htm";
  const std::string utf8 = "/home/u/caf\xc3\xa9/index.htm";
  {
    SettingsStore store(ini);
    StoredHistory h;
    h.html_file = latin1;
    h.osfs = "/s/\xff\xfe.wav;/s/ok.wav;";
    h.csfs = utf8 + ";";
    store.WriteHistory(h);
    store.SetAppPath("/opt/\x80");
  }
  SettingsStore store(ini);
  EXPECT_EQ(store.History().html_file, latin1);
  EXPECT_EQ(store.History().osfs, "/s/\xff\xfe.wav;/s/ok.wav;");
  EXPECT_EQ(store.History().csfs, utf8 + ";");
  EXPECT_EQ(store.AppPath(), "/opt/\x80");
  const std::string file = testing::ReadFile(ini);
  EXPECT_NE(file.find("CSFs=\"" + utf8 + ";\""), std::string::npos) << file;
  EXPECT_NE(file.find("HtmlFile=@ByteArray("), std::string::npos) << file;
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

// A file that cannot be written (a folder in its place, which not even root
// can write) is reported by Sync and by the address history's save, naming
// the file; the values live on in memory for this program run.
TEST(SettingsStoreTest, AFileThatCannotBeWrittenIsReported) {
  TempDir dir;
  const std::string ini = dir.File("Sonavelt.ini");
  fs::create_directories(ini);
  SettingsStore store(ini);
  store.SetAppPath("/opt/sonavelt");
  const Status synced = store.Sync();
  EXPECT_EQ(synced.code(), Status::Code::kIoError);
  EXPECT_NE(synced.message().find(ini), std::string::npos) << synced.message();
  EXPECT_EQ(store.AppPath(), "/opt/sonavelt");
  remote::AddressHistory history;
  history.Remember("ftp://example.org/index.htm");
  EXPECT_FALSE(SaveAddressHistory(history, store).ok());
  EXPECT_EQ(LoadAddressHistory(store).entries()[0], "ftp://example.org/index.htm");

  SettingsStore writable(dir.File("other.ini"));
  EXPECT_TRUE(SaveAddressHistory(history, writable).ok());
  EXPECT_TRUE(writable.Sync().ok());
}

}  // namespace sonavelt::run
