// sonavelt-cli run on a page served by a real FTP server on loopback: the
// page comes back edited with its files beside it, the address is remembered
// without the password, and a second run replaces the block in place.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

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

struct Result {
  int status = -1;
  std::string output;  // standard output and standard error together
};

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
    site_ = dir_.path() / "site";
    fs::create_directories(site_ / "www");
    fs::copy_file(data_ / "samples/sample.htm", site_ / "www/sample.htm");
    fs::create_directories(dir_.path() / "local");
    fs::copy_file(data_ / "samples/sample.htm", dir_.path() / "local/sample.htm");
    if (!server_.Start(site_.string())) SONAVELT_SERVER_UNAVAILABLE(server_.error());
    address_ = "ftp://" + std::string(TestFtpServer::kUser) + "@127.0.0.1:" +
               std::to_string(server_.port()) + "/www/sample.htm";
  }

  // Runs sonavelt-cli run with an argument list, `password` in the
  // environment (nullptr: none) and a settings folder of this test's own.
  Result Cli(std::vector<std::string> args, const char* password = TestFtpServer::kPassword) {
    std::vector<std::string> argv = {cli_, "run", "--install-folder", install_.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = {
        "XDG_CONFIG_HOME=" + (dir_.path() / "config").string(),
        "XDG_DATA_HOME=" + (dir_.path() / "data").string(), "HOME=" + dir_.path().string(),
        "PATH=/usr/bin:/bin"};
    if (password != nullptr) env.push_back(std::string("SONAVELT_FTP_PASSWORD=") + password);
    // A new session: no controlling terminal to ask a password on.
    testing::ProgramResult p = testing::RunProgram(argv, {.folder = dir_.path(),
                                                          .environment = env,
                                                          .clean_environment = true,
                                                          .merge_output = true,
                                                          .new_session = true});
    return {p.status, p.out};
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
    EXPECT_NE(remote.output.find("page: 127.0.0.1:/www/sample.htm\n"), std::string::npos);
    EXPECT_NE(remote.output.find("resource file: 127.0.0.1:/www/sample.res\n"), std::string::npos)
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

}  // namespace
}  // namespace sonavelt::run
