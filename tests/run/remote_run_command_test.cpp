// sonavelt-cli run on a page served by a real FTP server on loopback: the
// page comes back edited with its files beside it, the address is remembered
// without the password, and a second run replaces the block in place.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

#include "tests/remote/ftp_daemon.h"
#include "tests/remote/ftp_test_server.h"
#include "tests/support/cli_test.h"
#include "tests/support/program.h"
#include "tests/support/scratch_install.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::run {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::TestFtpServer;

using Result = testing::CliResult;

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The scratch install holds the browser player, which goes up too.
class RemoteRunCommandTest : public testing::CliTest {
 protected:
  RemoteRunCommandTest() : CliTest({.sample_page = true, .sounds = true}) {}
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped()) return;
    PrepareSite(dir_.path() / "site");
    if (!server_.Start(site_.string())) SONAVELT_SERVER_UNAVAILABLE(server_.error());
    address_ = "ftp://" + std::string(TestFtpServer::kUser) + "@127.0.0.1:" +
               std::to_string(server_.port()) + "/www/sample.htm";
  }

  // The sample page in `site`/www, and a copy for the local run.
  void PrepareSite(const fs::path& site) {
    site_ = site;
    fs::create_directories(site_ / "www");
    fs::copy_file(data_ / "samples/sample.htm", site_ / "www/sample.htm");
    fs::create_directories(dir_.path() / "local");
    fs::copy_file(data_ / "samples/sample.htm", dir_.path() / "local/sample.htm");
  }

  // Runs sonavelt-cli run with an argument list and `password` in the
  // environment (nullptr: none).
  Result Cli(std::vector<std::string> args, const char* password = TestFtpServer::kPassword) {
    args.insert(args.begin(), {"run", "--install-folder", install_.string()});
    std::vector<std::string> env;
    if (password != nullptr) env.push_back(std::string("SONAVELT_FTP_PASSWORD=") + password);
    return RunCli(args, env);
  }

  // Every file under `folder` that holds `text`.
  std::vector<std::string> FilesHolding(const fs::path& folder, const std::string& text) {
    std::vector<std::string> found;
    std::error_code ec;
    if (!fs::exists(folder, ec)) return found;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
      if (entry.is_regular_file() && ReadFile(entry.path().string()).find(text) != std::string::npos)
        found.push_back(entry.path().string());
    return found;
  }

  // The site's copy of `name` (beside the page) is the local run's, byte for
  // byte; the first difference is shown.
  void ExpectSameBytes(const std::string& name) {
    const std::string site = ReadFile((site_ / "www" / name).string());
    const std::string local = ReadFile((dir_.path() / "local" / name).string());
    size_t differ = 0;
    while (differ < site.size() && differ < local.size() && site[differ] == local[differ]) ++differ;
    EXPECT_EQ(site.size(), local.size()) << name;
    EXPECT_EQ(differ, site.size()) << name << "\nsite: "
                                   << site.substr(differ > 80 ? differ - 80 : 0, 200)
                                   << "\nlocal: " << local.substr(differ > 80 ? differ - 80 : 0, 200);
  }

  // Runs the same choices on the site's page and on a local copy, and checks
  // that the site holds what the local run put beside its page, byte for
  // byte, and nothing else (no temporary upload names, and no preview file
  // for pages opened from disk).
  void ExpectSiteLikeLocalRun(const std::vector<std::string>& choices, bool browser_player) {
    auto with = [&](std::string page) {
      std::vector<std::string> args = choices;
      args.push_back(std::move(page));
      return args;
    };
    Result remote = Cli(with(address_));
    ASSERT_EQ(remote.status, 0) << remote.output;
    EXPECT_NE(remote.output.find("All Done."), std::string::npos);
    EXPECT_NE(remote.output.find("To: 127.0.0.1"), std::string::npos);
    EXPECT_NE(remote.output.find("page: 127.0.0.1:" + page_on_server_ + "\n"), std::string::npos);
    const std::string resource_on_server =
        page_on_server_.substr(0, page_on_server_.size() - 3) + "res";
    EXPECT_NE(remote.output.find("resource file: 127.0.0.1:" + resource_on_server + "\n"),
              std::string::npos)
        << remote.output;
    EXPECT_EQ(remote.output.find(TestFtpServer::kPassword), std::string::npos);
    // The settings page names the site.
    EXPECT_NE(ReadFile((install_ / "HISTORY/HIS_sample.htm").string()).find("127.0.0.1"),
              std::string::npos);
    // The extra files of the browser player are not among the transfers shown.
    EXPECT_EQ(remote.output.find(".opus"), std::string::npos) << remote.output;
    EXPECT_EQ(remote.output.find(".sounds.js"), std::string::npos) << remote.output;
    Result local = Cli(with((dir_.path() / "local/sample.htm").string()));
    ASSERT_EQ(local.status, 0) << local.output;

    const fs::path www = site_ / "www";
    const std::string page = ReadFile((www / "sample.htm").string());
    EXPECT_EQ(Count(page, "<applet"), 1u);
    EXPECT_EQ(page.find("\r\r"), std::string::npos);
    // Line ends included: the page travels in binary both ways.
    ExpectSameBytes("sample.htm");
    ExpectSameBytes("sample.res");
    EXPECT_EQ(ReadFile((www / "SonaveltRandomEventBackground.class").string()),
              ReadFile((install_ / "SonaveltRandomEventBackground.class").string()));
    // The data file goes up also without the browser player: it keeps the
    // record for taking the player off again (the block then never loads it).
    std::set<std::string> expected = {"audio", "sample.htm", "sample.res", "sample.sounds.js",
                                      "SonaveltRandomEventBackground.class"};
    ExpectSameBytes("sample.sounds.js");
    if (browser_player) {
      EXPECT_NE(page.find("<script src=\"sample.sounds.js\"></script>"), std::string::npos)
          << page;
      ExpectSameBytes("sonavelt-player.js");
      expected.insert("sonavelt-player.js");
      EXPECT_TRUE(fs::exists(dir_.path() / "local/sample.local.js"));
    } else {
      EXPECT_EQ(page.find("sounds.js"), std::string::npos);
      EXPECT_FALSE(fs::exists(dir_.path() / "local/sample.local.js"));
    }
    int sounds = 0, copies = 0;
    for (const auto& entry : fs::directory_iterator(dir_.path() / "local/audio")) {
      ++sounds;
      if (entry.path().extension() == ".opus") ++copies;
      ExpectSameBytes("audio/" + entry.path().filename().string());
    }
    EXPECT_GT(sounds, 0);
    EXPECT_EQ(copies > 0, browser_player) << copies;
    int on_site = 0;
    for (const auto& entry : fs::directory_iterator(www / "audio")) {
      ++on_site;
      EXPECT_TRUE(fs::exists(dir_.path() / "local/audio" / entry.path().filename()))
          << entry.path();
    }
    EXPECT_EQ(on_site, sounds);
    for (const auto& entry : fs::directory_iterator(www))
      EXPECT_TRUE(expected.count(entry.path().filename().string()) != 0) << entry.path();
  }

  fs::path site_;
  std::string address_;
  std::string page_on_server_ = "/www/sample.htm";
  TestFtpServer server_;
};

TEST_F(RemoteRunCommandTest, PageIsFetchedEditedAndPublishedWithItsFiles) {
  // With the browser player (the default): its copies and data file go up
  // before the page, which names the data file as on a local page.
  ExpectSiteLikeLocalRun({"--yes", "-n", "2", "--in-order"}, /*browser_player=*/true);
  EXPECT_EQ(Count(ReadFile((site_ / "www/sample.htm").string()), "sonavelt-player.js"),
            Count(ReadFile((dir_.path() / "local/sample.htm").string()), "sonavelt-player.js"));

  // The address is remembered for the wizard, the password nowhere.
  std::string ini = ReadFile((dir_.path() / "config/Brindlecor/Sonavelt.ini").string());
  EXPECT_NE(ini.find("URL_0=" + address_), std::string::npos) << ini;
  EXPECT_TRUE(FilesHolding(dir_.path() / "config", TestFtpServer::kPassword).empty());
  EXPECT_TRUE(FilesHolding(install_ / "HISTORY", TestFtpServer::kPassword).empty());
  EXPECT_FALSE(fs::exists(install_ / "Cache"));

  // Again on the same site: the audio folder is there, the block is replaced.
  Result again = Cli({"--yes", "-n", "2", "--in-order", address_});
  ASSERT_EQ(again.status, 0) << again.output;
  const std::string page = ReadFile((site_ / "www/sample.htm").string());
  EXPECT_EQ(Count(page, "<applet"), 1u);
  EXPECT_EQ(Count(page, "sample.sounds.js"), 1u) << page;
  EXPECT_EQ(page.find("\r\r"), std::string::npos);
  EXPECT_FALSE(fs::exists(site_ / "www/sample.local.js"));
}

TEST_F(RemoteRunCommandTest, PageWithoutBrowserPlayerMatchesLocalRun) {
  ExpectSiteLikeLocalRun({"--yes", "-n", "2", "--in-order", "--no-html5"},
                         /*browser_player=*/false);
}

TEST_F(RemoteRunCommandTest, RefusedBrowserCopyLeavesThePageAsItWas) {
  // The server refuses the first browser copy: the run ends before the page,
  // which stays byte for byte as it was, and says so.
  const std::string original = ReadFile((site_ / "www/sample.htm").string());
  testing::FtpServerFaults refuse;
  refuse.refuse_stor = ".opus:553";
  ASSERT_TRUE(server_.Start(site_.string(), refuse)) << server_.error();
  Result refused = Cli({"--yes", "-n", "1", "--no-background",
                        "ftp://" + std::string(TestFtpServer::kUser) + "@127.0.0.1:" +
                            std::to_string(server_.port()) + "/www/sample.htm"});
  EXPECT_EQ(refused.status, 3) << refused.output;
  EXPECT_NE(refused.output.find(".opus"), std::string::npos) << refused.output;
  EXPECT_NE(refused.output.find("553"), std::string::npos) << refused.output;
  EXPECT_NE(refused.output.find("The page on the site was not changed."), std::string::npos)
      << refused.output;
  EXPECT_EQ(ReadFile((site_ / "www/sample.htm").string()), original);
  // The data file names the sounds, but the live page does not name it, so
  // it may go up beside them; then the message names it among those placed.
  if (fs::exists(site_ / "www/sample.sounds.js"))
    EXPECT_NE(refused.output.find("/www/sample.sounds.js"), std::string::npos) << refused.output;
  EXPECT_FALSE(fs::exists(install_ / "Cache"));
  // No temporary upload names left behind.
  for (const auto& entry : fs::recursive_directory_iterator(site_ / "www"))
    EXPECT_EQ(entry.path().filename().string().find("part"), std::string::npos) << entry.path();
}

TEST_F(RemoteRunCommandTest, RefusedAddressesAndLoginsStopTheRun) {
  // Not a page: nothing remembered, nothing contacted.
  Result folder = Cli({"--yes", "ftp://127.0.0.1:" + std::to_string(server_.port()) + "/www/"});
  EXPECT_EQ(folder.status, 1);
  EXPECT_NE(folder.output.find("does not name a page"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_.path() / "config/Brindlecor/Sonavelt.ini"));

  // No password and no terminal to ask on: what to set, before any contact.
  const std::string before = ReadFile((site_ / "www/sample.htm").string());
  Result none = Cli({"--yes", "-n", "1", address_}, /*password=*/nullptr);
  EXPECT_EQ(none.status, 1) << none.output;
  EXPECT_NE(none.output.find("SONAVELT_FTP_PASSWORD"), std::string::npos) << none.output;
  EXPECT_EQ(none.output.find("530"), std::string::npos) << none.output;

  // A wrong password: the server's own text, the run ends, the page stays.
  Result login = Cli({"--yes", "-n", "1", address_}, "wrong");
  EXPECT_EQ(login.status, 3) << login.output;
  EXPECT_NE(login.output.find("530"), std::string::npos) << login.output;
  EXPECT_EQ(ReadFile((site_ / "www/sample.htm").string()), before);
  // Remembered all the same: the address was saved before connecting.
  std::string ini = ReadFile((dir_.path() / "config/Brindlecor/Sonavelt.ini").string());
  EXPECT_NE(ini.find("URL_0=" + address_), std::string::npos) << ini;
}

TEST_F(RemoteRunCommandTest, ServerFaultsAreRetriedThenReported) {
  const std::string original = ReadFile((site_ / "www/sample.htm").string());
  auto address = [&] {
    return "ftp://" + std::string(TestFtpServer::kUser) + "@127.0.0.1:" +
           std::to_string(server_.port()) + "/www/sample.htm";
  };

  // A server that will not have the audio folder: no retries, the MKD's own
  // reply; the run ends, the page is as it was, and nothing of the run's
  // own is left behind locally.
  testing::FtpServerFaults no_audio;
  no_audio.refuse_mkd = "audio";
  ASSERT_TRUE(server_.Start(site_.string(), no_audio)) << server_.error();
  Result refused = Cli({"--yes", "-n", "1", "--no-background", address()});
  EXPECT_EQ(refused.status, 3) << refused.output;
  EXPECT_NE(refused.output.find("could not create or open the folder /www/audio"),
            std::string::npos)
      << refused.output;
  EXPECT_NE(refused.output.find("550 Permission denied."), std::string::npos) << refused.output;
  EXPECT_EQ(refused.output.find("lost connection"), std::string::npos) << refused.output;
  EXPECT_NE(refused.output.find("The page on the site was not changed."), std::string::npos);
  EXPECT_EQ(ReadFile((site_ / "www/sample.htm").string()), original);
  EXPECT_FALSE(fs::exists(install_ / "Cache"));
  EXPECT_FALSE(fs::exists(site_ / "www/audio"));

  // The connection dropped during the first sound's upload: sent again after
  // a reconnect, and the site ends complete.
  testing::FtpServerFaults drop;
  drop.drop_stor_of = "sonavelt.au";
  ASSERT_TRUE(server_.Start(site_.string(), drop)) << server_.error();
  Result dropped = Cli({"--yes", "-n", "1", "--no-background", address()});
  ASSERT_EQ(dropped.status, 0) << dropped.output;
  EXPECT_NE(dropped.output.find("Sonavelt has lost connection with: 127.0.0.1"),
            std::string::npos)
      << dropped.output;
  // The page goes up last, and each file moved the bar once.
  size_t last = dropped.output.rfind("Transferring: ");
  ASSERT_NE(last, std::string::npos) << dropped.output;
  const std::string page_line = "Transferring: sample.htm To: 127.0.0.1\n";
  EXPECT_EQ(dropped.output.compare(last, page_line.size(), page_line), 0)
      << dropped.output.substr(last);
  EXPECT_NE(original, ReadFile((site_ / "www/sample.htm").string()));
  EXPECT_EQ(Count(ReadFile((site_ / "www/sample.htm").string()), "<applet"), 1u);
  EXPECT_TRUE(fs::exists(site_ / "www/sample.res"));
  EXPECT_TRUE(fs::exists(site_ / "www/SonaveltRandomEventBackground.class"));
  EXPECT_FALSE(fs::is_empty(site_ / "www/audio"));
}

// The same run on vsftpd, proftpd and pure-ftpd, each with its defaults:
// the site ends byte for byte as the local run's, nothing temporary left.
class DaemonRunTest : public RemoteRunCommandTest,
                      public ::testing::WithParamInterface<testing::FtpDaemonKind> {
 protected:
  DaemonRunTest() : daemon_(GetParam()) {}

  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped()) return;
    // The servers serve root/, whose incoming/ is the "ftp" user's.
    const fs::path root = dir_.path() / "root";
    PrepareSite(root / "incoming");
    fs::permissions(dir_.path(), fs::perms(0755));
    fs::permissions(root, fs::perms(0755));
    struct passwd* ftp = getpwnam("ftp");
    if (ftp == nullptr) SONAVELT_SERVER_UNAVAILABLE("no ftp user for the FTP servers");
    for (const fs::path& path : {site_, site_ / "www", site_ / "www/sample.htm"})
      if (chown(path.c_str(), ftp->pw_uid, ftp->pw_gid) != 0)
        GTEST_SKIP() << "cannot give the site to the ftp user (not root)";
    fs::create_directories(dir_.path() / "daemon");
    if (!daemon_.Start(root.string(), (dir_.path() / "daemon").string()))
      SONAVELT_SERVER_UNAVAILABLE(daemon_.error());
    page_on_server_ = "/incoming/www/sample.htm";
    address_ = "ftp://" + (daemon_.user().empty() ? "" : daemon_.user() + "@") + "127.0.0.1:" +
               std::to_string(daemon_.port()) + page_on_server_;
  }

  testing::FtpDaemon daemon_;
};

TEST_P(DaemonRunTest, PublishedSiteMatchesTheLocalRun) {
  ExpectSiteLikeLocalRun({"--yes", "-n", "2", "--in-order"}, /*browser_player=*/true);
}

// A second run with other sounds: once the page names them, the first run's
// sounds and copies, which no page plays any more, are gone from the server.
TEST_P(DaemonRunTest, ASecondRunWithOtherSoundsLeavesOnlyItsOwn) {
  auto run = [&](const char* entrance) {
    const std::string sounds = (install_ / "audio/event").string() + "/";
    Result r = Cli({"--yes", "-n", "1", "--no-background", "-e", sounds + entrance, "-x",
                    sounds + "laugh3.wav", address_});
    EXPECT_EQ(r.status, 0) << r.output;
  };
  run("car1.wav");
  run("champagne.wav");
  std::set<std::string> audio;
  for (const auto& entry : fs::directory_iterator(site_ / "www/audio"))
    audio.insert(entry.path().filename().string());
  EXPECT_EQ(audio, (std::set<std::string>{"champagne.au", "champagne.opus", "laugh3.au",
                                          "laugh3.opus"}));
}

INSTANTIATE_TEST_SUITE_P(Servers, DaemonRunTest,
                         ::testing::ValuesIn(testing::kAllFtpDaemons),
                         [](const auto& info) { return testing::DaemonTestName(info.param); });

// Ctrl-C in the middle of a large sound's upload (vsftpd holds it to 2 MB/s,
// as a slow link would): the run ends within a second of the signal, the
// page on the site as it was, no temporary file and no cut-off sound left.
TEST_P(DaemonRunTest, CtrlCDuringALargeUploadEndsTheRunWithinASecond) {
  if (GetParam() != testing::FtpDaemonKind::kVsftpd) GTEST_SKIP() << "one server is enough";
  daemon_.Stop();
  testing::FtpDaemonOptions slow;
  slow.extra = {"anon_max_rate=2000000"};
  ASSERT_TRUE(daemon_.Start((dir_.path() / "root").string(), (dir_.path() / "daemon").string(), slow))
      << daemon_.error();
  address_ = "ftp://127.0.0.1:" + std::to_string(daemon_.port()) + page_on_server_;
  // A .au sound goes up as it is: 16 MB, eight seconds at that rate.
  std::string big = ".snd";
  for (uint32_t v : {24u, 0xFFFFFFFFu, 1u, 8000u, 1u})
    for (int shift = 24; shift >= 0; shift -= 8) big.push_back(static_cast<char>(v >> shift));
  big.resize(big.size() + (16u << 20), '\x7f');
  const fs::path sound = dir_.path() / "big.au";
  testing::WriteFile(sound.string(), big);
  const std::string original = ReadFile((site_ / "www/sample.htm").string());

  testing::BackgroundProgram run(
      {cli_, "run", "--install-folder", install_.string(), "--yes", "-q", "--no-html5", "-n", "1",
       "-b", sound.string(), address_},
      {.folder = dir_.path(),
       .environment = {"XDG_CONFIG_HOME=" + (dir_.path() / "config").string(),
                       "XDG_DATA_HOME=" + (dir_.path() / "data").string(),
                       "HOME=" + dir_.path().string(), "PATH=/usr/bin:/bin"},
       .clean_environment = true,
       .new_session = true});
  // Signalled once the server holds a good part of the sound, not all.
  bool under_way = false;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!under_way && std::chrono::steady_clock::now() < until) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(site_, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
      std::error_code size_ec;
      auto size = it->is_regular_file(size_ec) ? it->file_size(size_ec) : 0;
      if (it->path().filename().string().find("big.au") != std::string::npos && !size_ec &&
          size > (2u << 20) && size < big.size())
        under_way = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(under_way) << run.Wait().err;
  const auto signalled = std::chrono::steady_clock::now();
  run.Signal(SIGINT);
  testing::ProgramResult result = run.Wait();
  const auto took = std::chrono::steady_clock::now() - signalled;
  EXPECT_LT(took, std::chrono::milliseconds(1000))
      << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
  EXPECT_EQ(result.status, 3) << result.err;
  EXPECT_NE(result.err.find("Stopped by the user."), std::string::npos) << result.err;
  EXPECT_EQ(ReadFile((site_ / "www/sample.htm").string()), original);
  // The cut-off sound went straight to its name (the live page names it
  // not) and goes like a temporary file.
  EXPECT_FALSE(fs::exists(site_ / "www/audio/big.au")) << result.err;
  for (const auto& entry : fs::recursive_directory_iterator(site_))
    EXPECT_EQ(entry.path().filename().string().find("part"), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace sonavelt::run
