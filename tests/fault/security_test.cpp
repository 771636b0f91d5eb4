// Names and addresses from outside must not steer the program: hostile page
// and sound names stay inside the folders a run writes, a browser gets the
// page as one argument without a shell, and a password reaches neither the
// disk nor the process list.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "browser/browser_launch.h"
#include "remote/address_history.h"
#include "remote/ftp_connection.h"
#include "remote/remote_tree.h"
#include "remote/transfers.h"
#include "run/resource_text.h"
#include "settings/settings_store.h"
#include "tests/fault/fault_support.h"
#include "tests/remote/ftp_test_server.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/resource_file.h"
#include "tests/support/scratch_install.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::testing {
namespace {

namespace fs = std::filesystem;

// Every file below `root` that contains `needle`.
std::vector<std::string> FilesContaining(const fs::path& root, const std::string& needle) {
  std::vector<std::string> found;
  for (const std::string& file : FilesBelow(root))
    if (ReadFile((root / file).string()).find(needle) != std::string::npos) found.push_back(file);
  return found;
}

// The parent of process `pid`, from /proc; 0 when unknown.
int ParentOf(const std::string& pid) {
  std::string stat = ReadFile("/proc/" + pid + "/stat");
  size_t close = stat.rfind(')');  // the command name may hold blanks
  if (close == std::string::npos || close + 4 >= stat.size()) return 0;
  return std::atoi(stat.c_str() + stat.find(' ', close + 3) + 1);
}

// The command lines and environments that hold `needle`, among this test
// process and everything it started (other users of the machine aside).
std::vector<std::string> ProcessesShowing(const std::string& needle) {
  std::vector<std::string> found;
  const int self = getpid();
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator("/proc", ec)) {
    std::string pid = e.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    bool ours = false;
    for (int p = std::atoi(pid.c_str()), hops = 0; p > 1 && hops < 64; ++hops) {
      if (p == self) {
        ours = true;
        break;
      }
      p = ParentOf(std::to_string(p));
    }
    if (!ours) continue;
    for (const char* what : {"cmdline", "environ"}) {
      std::string text = ReadFile((e.path() / what).string());
      if (text.find(needle) != std::string::npos) found.push_back(pid + "/" + what);
    }
  }
  return found;
}

TEST(HostileNamesTest, PageAndSoundNamesStayInsideTheRunsFolders) {
  const char* bin = std::getenv("SONAVELT_BIN_DIR");
  const char* data = std::getenv("SONAVELT_BUILD_DATA_DIR");
  if (bin == nullptr || data == nullptr) GTEST_SKIP() << "needs the built program and data";
  TempDir dir;
  fs::path root = dir.path();
  fs::path install = root / "install";
  testing::MakeScratchInstallFolder(install, data);
  fs::create_directories(root / "site" / "sounds");
  // Shell syntax, HTML, line breaks, the resource file's list separator, and
  // names that look like parent folders. (";" is refused where a path is
  // chosen: the remembered choices are ";"-separated lists.)
  const std::string page_name = "my page,$(touch PWNED)`touch PWNED`\n<i>.htm";
  const std::string sounds[] = {"..wav", "$(touch PWNED),a,b\n.wav",
                                "<img src=x onerror=alert(1)> \"%2F..%2F.wav"};
  WriteFile((root / "site" / page_name).string(),
            "<html><body>\n<p>hi</p>\n</body></html>\n");
  for (const std::string& s : sounds) WriteFile((root / "site/sounds" / s).string(), SmallWave(800));
  std::vector<std::string> before = FilesBelow(root);

  ProgramResult r = RunProgram(
      {std::string(bin) + "/sonavelt-cli", "run", "--install-folder", install.string(), "--yes",
       "-q", "-n", "1", "-e", "site/sounds/" + sounds[0], "-x", "site/sounds/" + sounds[1], "-b",
       "site/sounds/" + sounds[2], "site/" + page_name},
      root, {"XDG_CONFIG_HOME=" + (root / "config").string(),
             "XDG_DATA_HOME=" + (root / "data").string()});
  ASSERT_EQ(r.status, 0) << r.err;

  // Exactly the files a run writes, each in its own folder.
  std::set<std::string> added;
  for (const std::string& f : FilesBelow(root))
    if (std::find(before.begin(), before.end(), f) == before.end()) added.insert(f);
  const std::set<std::string> expected = {
      "config/Brindlecor/Sonavelt.ini",
      "install/HISTORY/HIS_" + page_name,
      "site/my page,$(touch PWNED)`touch PWNED`\n<i>.res",
      "site/SonaveltRandomEventBackground.class",
      // The browser player, on by default, with its data and preview files.
      "site/sonavelt-player.js",
      "site/my page,$(touch PWNED)`touch PWNED`\n<i>.sounds.js",
      "site/my page,$(touch PWNED)`touch PWNED`\n<i>.local.js",
      "site/audio/..au",
      "site/audio/$(touch PWNED),a,b\n.au",
      "site/audio/<img src=x onerror=alert(1)> \"%2F..%2F.au",
      // and their browser copies
      "site/audio/..opus",
      "site/audio/$(touch PWNED),a,b\n.opus",
      "site/audio/<img src=x onerror=alert(1)> \"%2F..%2F.opus",
  };
  EXPECT_EQ(added, expected);
  EXPECT_FALSE(fs::exists(root / "PWNED"));
  EXPECT_FALSE(fs::exists(root / "site" / "PWNED"));

  // The page names its resource file by a quoted, percent-encoded value.
  std::string page = ReadFile((root / "site" / page_name).string());
  size_t value = page.find("<param name=resource value=\"");
  ASSERT_NE(value, std::string::npos) << page;
  value += 28;
  std::string base = page.substr(value, page.find('"', value) - value);
  EXPECT_EQ(base.find_first_of(" ;\n<>\"&"), std::string::npos) << base;
  // The resource file's fields stay 16, whatever the names hold.
  std::string text;
  ASSERT_TRUE(testing::DecodeResourceFile(
                  ReadFile((root / "site/my page,$(touch PWNED)`touch PWNED`\n<i>.res").string()),
                  &text)
                  .ok());
  EXPECT_EQ(std::count(text.begin(), text.end(), ';'), 16) << text;
  EXPECT_EQ(text.find('\n'), std::string::npos);
  // The settings page shows the names as text, not as markup.
  std::string settings = ReadFile((install / "HISTORY" / ("HIS_" + page_name)).string());
  EXPECT_EQ(settings.find("<img"), std::string::npos);
  EXPECT_EQ(settings.find("<i>"), std::string::npos);
}

TEST(BrowserLaunchSecurityTest, ThePageIsOneArgumentAndNoShellRuns) {
  TempDir dir;
  // A "browser" that writes each argument it got on a line of its own.
  fs::path browser = dir.path() / "recorder";
  fs::path record = dir.path() / "args.txt";
  WriteFile(browser.string(), "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n--\\n' \"$a\"; done > '" +
                                  record.string() + "'\n");
  fs::permissions(browser, fs::perms::owner_all);
  const std::string address =
      (dir.path() / "HIS_a b;touch PWNED;$(touch PWNED)`touch PWNED`'\"|x&.htm").string();

  browser::BrowserSearch search;
  search.browser_variable = browser.string() + " --new-window";
  search.desktop_opener.clear();
  search.browsers.clear();
  browser::SpawnProcessStarter starter(std::chrono::milliseconds(3000));
  RecordingUserInterface ui;
  fs::path old = fs::current_path();
  fs::current_path(dir.path());
  Show(ui, browser::LaunchBrowser(address, starter, search));
  fs::current_path(old);
  for (int i = 0; i < 100 && ReadFile(record.string()).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(ReadFile(record.string()), "--new-window\n--\n" + address + "\n--\n");
  EXPECT_FALSE(fs::exists(dir.path() / "PWNED"));
}

// Names a real server lists that would leave their folder or end an FTP
// command early: the browser never offers them, and a typed path holding a
// line break is refused before anything reaches the server.
TEST(RemoteNamesTest, HostileNamesOnARealServerGoNowhere) {
  TempDir dir;
  fs::path site = dir.path() / "site";
  fs::create_directories(site / "www");
  const std::string page = "<html><body></body></html>\n";
  WriteFile((site / "www/index.htm").string(), page);
  WriteFile((site / "evil\nDELE www").string(), "x");
  WriteFile((site / "tab\tx\rRMD www").string(), "x");
  TestFtpServer server;
  if (!server.Start(site.string())) SONAVELT_SERVER_UNAVAILABLE(server.error());
  remote::FtpConnection connection(server.Endpoint());
  ASSERT_TRUE(connection.Open().ok());
  remote::RemoteTree tree;
  tree.Fill(&connection, "/", "/");
  // A name with a line break lists as two lines; the first half ("evil") may
  // show as an item, harmlessly, but no item holds a control character.
  bool www = false;
  for (remote::RemoteTree::ItemId item : tree.children(tree.top())) {
    EXPECT_TRUE(remote::IsSafeEntryName(tree.text(item))) << tree.text(item);
    EXPECT_EQ(tree.text(item).find("DELE"), std::string::npos) << tree.text(item);
    www = www || tree.text(item) == "www";
  }
  EXPECT_TRUE(www);
  connection.Close();

  const char* bin = std::getenv("SONAVELT_BIN_DIR");
  const char* data = std::getenv("SONAVELT_BUILD_DATA_DIR");
  if (bin == nullptr || data == nullptr) return;
  fs::path install = dir.path() / "install";
  testing::MakeScratchInstallFolder(install, data, {.sounds = true});
  const std::string address = "ftp://" + std::string(TestFtpServer::kUser) + "@127.0.0.1:" +
                              std::to_string(server.port()) + "/www/index.htm%0D%0ADELE%20index.htm";
  ProgramResult r = RunProgram(
      {std::string(bin) + "/sonavelt-cli", "run", "--install-folder", install.string(), "--yes",
       "-q", "-n", "1", address},
      dir.path(),
      {"SONAVELT_FTP_PASSWORD=" + std::string(TestFtpServer::kPassword),
       "XDG_CONFIG_HOME=" + (dir.path() / "config").string(),
       "XDG_DATA_HOME=" + (dir.path() / "data").string()});
  EXPECT_NE(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("index.htm"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile((site / "www/index.htm").string()), page);
  EXPECT_EQ(FilesBelow(site / "www"), std::vector<std::string>{"index.htm"});
}

class NullObserver : public run::TransferObserver {
 public:
  void ReportTransferring(const std::string&, bool) override {}
  void SetProgressText(const std::string&) override {}
  bool CancelRequested() override { return false; }
};

TEST(PasswordTest, NeverStoredAndNeverOnACommandLine) {
  TempDir dir;
  const std::string password = TestFtpServer::kPassword;

  // The connect dialog remembers what was typed, password included.
  run::SettingsStore store((dir.path() / "settings.ini").string());
  remote::AddressHistory history;
  history.Remember("ftp://" + std::string(TestFtpServer::kUser) + ":" + password + "@127.0.0.1/www/");
  history.Remember("ftp://someone:" + password + "@example.com:2121/");
  run::RememberedAddresses addresses;
  for (int k = 0; k < 4; ++k) addresses[k] = history.entries()[k];
  store.SetAddresses(addresses);
  ASSERT_TRUE(store.Sync().ok());
  EXPECT_NE(ReadFile((dir.path() / "settings.ini").string()).find("127.0.0.1"), std::string::npos);

  // A whole fetch with the password, the process list watched meanwhile.
  fs::create_directories(dir.path() / "site/www");
  fs::create_directories(dir.path() / "cache");
  WriteFile((dir.path() / "site/www/index.htm").string(), "<html><body></body></html>\n");
  TestFtpServer server;
  if (!server.Start((dir.path() / "site").string())) SONAVELT_SERVER_UNAVAILABLE(server.error());
  std::atomic<bool> done{false};
  std::vector<std::string> seen;
  std::thread watcher([&] {
    while (!done.load()) {
      for (const std::string& p : ProcessesShowing(password)) seen.push_back(p);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  NullObserver observer;
  remote::RemotePageTransfer transfer(server.Endpoint());
  std::string page;
  Status fetched = transfer.FetchPage({"127.0.0.1", "/www/index.htm"}, &page, "Retrieving", observer);
  transfer.Close();
  done = true;
  watcher.join();
  ASSERT_TRUE(fetched.ok()) << fetched.message();
  EXPECT_TRUE(seen.empty()) << seen.front();

  // Nothing the program wrote holds it: the server's own password file
  // (the test's) aside, only the site and the program's files are there.
  std::vector<std::string> on_disk = FilesContaining(dir.path(), password);
  EXPECT_TRUE(on_disk.empty()) << on_disk.front();
}

}  // namespace
}  // namespace sonavelt::testing
