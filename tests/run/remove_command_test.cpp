// sonavelt-cli remove with the real program: runs put the sounds on pages,
// remove takes them off again, and the folder is checked file by file.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "run/folder_usage.h"
#include "tests/remote/ftp_test_server.h"
#include "tests/support/cli_test.h"
#include "tests/support/program.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::run {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TestFtpServer;
using testing::WriteFile;

using Result = testing::CliResult;

// Every file under `folder`, relative, with its bytes.
std::map<std::string, std::string> Tree(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    files[fs::relative(entry.path(), folder).string()] =
        entry.is_regular_file() ? ReadFile(entry.path().string()) : "<folder>";
  return files;
}

class RemoveCommandTest : public testing::CliTest {
 protected:
  RemoveCommandTest() : CliTest({.sample_page = true, .sounds = true}) {}
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped()) return;
    site_ = dir_.path() / "site";
    fs::create_directories(site_);
  }

  Result Cli(const std::string& command, std::vector<std::string> args,
             const char* password = nullptr) {
    if (command == "run")
      args.insert(args.begin(), {"--install-folder", install_.string(), "--yes", "-q", "--in-order"});
    args.insert(args.begin(), command);
    std::vector<std::string> env;
    if (password != nullptr) env.push_back(std::string("SONAVELT_FTP_PASSWORD=") + password);
    return RunCli(args, env);
  }
  std::string Sound(const std::string& name) { return (install_ / "audio" / name).string(); }
  // One combination without background: quick, and two pages can share a sound.
  std::vector<std::string> Sounds(const std::string& entrance, const std::string& exit) {
    return {"-n", "1", "--no-background", "-e", Sound(entrance), "-x", Sound(exit)};
  }
  Result RunOn(const fs::path& page, std::vector<std::string> args) {
    args.push_back(page.string());
    return Cli("run", args);
  }

  fs::path site_;
};

// The BODY edits a first run makes, with and without the browser player,
// and a second run that replaces the block: remove gives back the page
// before its first run, byte for byte, and the folder as it was.
TEST_F(RemoveCommandTest, TakesOffEveryRunsEditByteForByte) {
  const std::string sample = ReadFile((install_ / "samples/sample.htm").string());
  const struct {
    const char* name;
    std::string page;
  } pages[] = {
      {"bgcolor kept", sample},
      {"bgcolor added", "<html><head><title>t</title></head>\n<body text=red>\nhi\n</body></html>\n"},
      {"body inserted", "<HTML><HEAD><TITLE>t</TITLE></HEAD>\r\nhi\r\n</HTML>\r\n"},
      {"body and html end", "<html><head></head>no end tags"},
  };
  for (const auto& [name, text] : pages) {
    for (const bool html5 : {true, false}) {
      SCOPED_TRACE(std::string(name) + (html5 ? ", browser player" : ", applet only"));
      fs::remove_all(site_);
      fs::create_directories(site_);
      WriteFile((site_ / "index.htm").string(), text);
      fs::permissions(site_ / "index.htm", fs::perms(0640));
      const std::map<std::string, std::string> before = Tree(site_);
      std::vector<std::string> args = Sounds("event/car1.wav", "event/laugh3.wav");
      args.push_back(html5 ? "--html5" : "--no-html5");
      Result first = RunOn(site_ / "index.htm", args);
      ASSERT_EQ(first.status, 0) << first.output;
      // A later run replaces the block, the browser player switched; the
      // first run's record stays, and so do the copies of an earlier run.
      std::vector<std::string> again = Sounds("event/car1.wav", "event/laugh3.wav");
      again.push_back(html5 ? "--no-html5" : "--html5");
      Result second = RunOn(site_ / "index.htm", again);
      ASSERT_EQ(second.status, 0) << second.output;
      ASSERT_NE(ReadFile((site_ / "index.htm").string()), text);

      Result removed = Cli("remove", {(site_ / "index.htm").string()});
      EXPECT_EQ(removed.status, 0) << removed.output;
      EXPECT_NE(removed.output.find("page: " + (site_ / "index.htm").string() + "\n"),
                std::string::npos) << removed.output;
      EXPECT_NE(removed.output.find("removed: " + (site_ / "audio/car1.au").string() + "\n"),
                std::string::npos) << removed.output;
      EXPECT_EQ(Tree(site_), before);
      EXPECT_EQ(fs::status(site_ / "index.htm").permissions(), fs::perms(0640));
    }
  }
}

// Two pages share a folder and a sound: taking one page's sounds off leaves
// the other's, and the other page's files name only files that are there.
TEST_F(RemoveCommandTest, SoundsAnotherPageUsesStay) {
  const std::string sample = ReadFile((install_ / "samples/sample.htm").string());
  WriteFile((site_ / "a.htm").string(), sample);
  WriteFile((site_ / "b.htm").string(), sample);
  ASSERT_EQ(RunOn(site_ / "a.htm", Sounds("event/car1.wav", "event/laugh3.wav")).status, 0);
  ASSERT_EQ(RunOn(site_ / "b.htm", Sounds("event/laugh3.wav", "event/champagne.wav")).status, 0);
  const std::string b_page = ReadFile((site_ / "b.htm").string());

  Result removed = Cli("remove", {(site_ / "a.htm").string()});
  ASSERT_EQ(removed.status, 0) << removed.output;
  EXPECT_EQ(ReadFile((site_ / "a.htm").string()), sample);
  for (const char* gone : {"a.res", "a.sounds.js", "a.local.js", "audio/car1.au", "audio/car1.opus"})
    EXPECT_FALSE(fs::exists(site_ / gone)) << gone;
  for (const char* kept : {"b.htm", "b.res", "b.sounds.js", "b.local.js", "audio/laugh3.au",
                           "audio/laugh3.opus", "audio/champagne.au", "audio/champagne.opus",
                           "SonaveltRandomEventBackground.class", "sonavelt-player.js"})
    EXPECT_TRUE(fs::exists(site_ / kept)) << kept;
  EXPECT_EQ(ReadFile((site_ / "b.htm").string()), b_page);
  // Page b still plays: every file its .res and data file name is there.
  std::vector<std::string> named;
  ASSERT_TRUE(ResourceFileAudioNames(ReadFile((site_ / "b.res").string()), &named));
  ASSERT_TRUE(PlayerDataAudioNames(ReadFile((site_ / "b.sounds.js").string()), &named));
  EXPECT_EQ(named.size(), 6u);
  for (const std::string& name : named) EXPECT_TRUE(fs::exists(site_ / "audio" / name)) << name;

  // The last page takes the shared files and the emptied audio/ with it.
  ASSERT_EQ(Cli("remove", {(site_ / "b.htm").string()}).status, 0);
  EXPECT_EQ(Tree(site_), (std::map<std::string, std::string>{{"a.htm", sample}, {"b.htm", sample}}));
}

// A later run with other sounds takes with it the sounds only the page's
// earlier run used; a sound another page plays and a file of the user's
// stay. Removals then give back the folder as it was.
TEST_F(RemoveCommandTest, SoundsALaterRunDropsGoWithIt) {
  const std::string sample = ReadFile((install_ / "samples/sample.htm").string());
  WriteFile((site_ / "a.htm").string(), sample);
  WriteFile((site_ / "b.htm").string(), sample);
  fs::create_directories(site_ / "audio");
  WriteFile((site_ / "audio/notes.txt").string(), "the user's");
  ASSERT_EQ(RunOn(site_ / "a.htm", Sounds("event/car1.wav", "event/laugh3.wav")).status, 0);
  ASSERT_EQ(RunOn(site_ / "b.htm", Sounds("event/laugh3.wav", "event/champagne.wav")).status, 0);
  const std::map<std::string, std::string> first = Tree(site_);

  Result again = RunOn(site_ / "a.htm", Sounds("event/knockdoor.wav", "event/champagne.wav"));
  ASSERT_EQ(again.status, 0) << again.output;
  std::map<std::string, std::string> expected = first;
  expected.erase("audio/car1.au");
  expected.erase("audio/car1.opus");
  for (const char* changed : {"a.htm", "a.res", "a.sounds.js", "a.local.js"})
    expected[changed] = ReadFile((site_ / changed).string());
  for (const char* added : {"audio/knockdoor.au", "audio/knockdoor.opus"})
    expected[added] = ReadFile((site_ / added).string());
  EXPECT_EQ(Tree(site_), expected);

  // Without the browser player, a sound that changed under its name loses
  // its old copy, which visitors would otherwise still hear.
  const fs::path mine = dir_.path() / "mine";
  fs::create_directories(mine);
  fs::copy_file(Sound("event/carcrash2.wav"), mine / "knockdoor.wav");
  again = RunOn(site_ / "a.htm", {"-n", "1", "--no-background", "--no-html5", "-e",
                                  (mine / "knockdoor.wav").string(), "-x", Sound("event/champagne.wav")});
  ASSERT_EQ(again.status, 0) << again.output;
  EXPECT_TRUE(fs::exists(site_ / "audio/knockdoor.au"));
  EXPECT_FALSE(fs::exists(site_ / "audio/knockdoor.opus"));
  EXPECT_TRUE(fs::exists(site_ / "audio/champagne.opus"));  // unchanged, and b's

  ASSERT_EQ(Cli("remove", {(site_ / "a.htm").string()}).status, 0);
  ASSERT_EQ(Cli("remove", {(site_ / "b.htm").string()}).status, 0);
  EXPECT_EQ(Tree(site_), (std::map<std::string, std::string>{
                             {"a.htm", sample}, {"b.htm", sample},
                             {"audio", "<folder>"}, {"audio/notes.txt", "the user's"}}));
}

TEST_F(RemoveCommandTest, RefusalsChangeNothing) {
  const std::string sample = ReadFile((install_ / "samples/sample.htm").string());
  WriteFile((site_ / "index.htm").string(), sample);
  WriteFile((site_ / "index.res").string(), "not ours");
  const std::map<std::string, std::string> before = Tree(site_);
  Result bare = Cli("remove", {(site_ / "index.htm").string()});
  EXPECT_EQ(bare.status, 1);
  EXPECT_NE(bare.output.find("index.htm"), std::string::npos) << bare.output;
  EXPECT_EQ(Tree(site_), before);

  Result missing = Cli("remove", {(site_ / "gone.htm").string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("gone.htm was not found."), std::string::npos) << missing.output;
  EXPECT_EQ(Cli("remove", {}).status, 2);
  EXPECT_EQ(Cli("remove", {"--frobnicate", "x.htm"}).status, 2);
  EXPECT_EQ(Cli("remove", {"a.htm", "b.htm"}).status, 2);
}

// A file of the page that has become a link goes as a link: what it points
// to is never removed.
TEST_F(RemoveCommandTest, LinksBesideThePageAreRemovedNotFollowed) {
  WriteFile((site_ / "index.htm").string(), "<html><body>\nhi\n</body></html>\n");
  ASSERT_EQ(RunOn(site_ / "index.htm", Sounds("event/car1.wav", "event/laugh3.wav")).status, 0);
  const fs::path outside = dir_.path() / "keep.au";
  WriteFile(outside.string(), "the user's own");
  fs::remove(site_ / "audio/car1.au");
  fs::create_symlink(outside, site_ / "audio/car1.au");
  Result removed = Cli("remove", {(site_ / "index.htm").string()});
  EXPECT_EQ(removed.status, 0) << removed.output;
  EXPECT_FALSE(fs::exists(fs::symlink_status(site_ / "audio/car1.au")));
  EXPECT_EQ(ReadFile(outside.string()), "the user's own");
}

// Without the record (a data file an older version wrote), the block still
// goes, BODY stays as it is, and the message says so.
TEST_F(RemoveCommandTest, WithoutTheRecordBodyStaysAndTheMessageSaysSo) {
  const std::string page = "<html><head></head><body>\nhi\n</body></html>\n";
  WriteFile((site_ / "index.htm").string(), page);
  ASSERT_EQ(RunOn(site_ / "index.htm", Sounds("event/car1.wav", "event/laugh3.wav")).status, 0);
  WriteFile((site_ / "index.sounds.js").string(), "");
  Result removed = Cli("remove", {(site_ / "index.htm").string()});
  EXPECT_EQ(removed.status, 0) << removed.output;
  EXPECT_NE(removed.output.find("no record of what the first run did to the BODY tag"),
            std::string::npos) << removed.output;
  EXPECT_EQ(ReadFile((site_ / "index.htm").string()),
            "<html><head></head><body BGCOLOR=\"#FFFFFF\">\nhi\n</body></html>\n");
}

// A page on a site, over the suite's FTP server: the site comes back as it
// was before the run.
TEST_F(RemoveCommandTest, RemotePageOverFtp) {
  TestFtpServer server;
  const fs::path served = dir_.path() / "served";
  fs::create_directories(served / "www");
  const std::string sample = ReadFile((install_ / "samples/sample.htm").string());
  WriteFile((served / "www/index.htm").string(), sample);
  WriteFile((served / "www/other.txt").string(), "the user's");
  if (!server.Start(served.string())) SONAVELT_SERVER_UNAVAILABLE(server.error());
  const std::map<std::string, std::string> before = Tree(served);
  const std::string address = "ftp://" + std::string(TestFtpServer::kUser) + "@127.0.0.1:" +
                              std::to_string(server.port()) + "/www/index.htm";
  std::vector<std::string> args = Sounds("event/car1.wav", "event/laugh3.wav");
  args.push_back(address);
  Result run = Cli("run", args, TestFtpServer::kPassword);
  ASSERT_EQ(run.status, 0) << run.output;
  ASSERT_TRUE(fs::exists(served / "www/audio/car1.au"));

  Result removed = Cli("remove", {address}, TestFtpServer::kPassword);
  EXPECT_EQ(removed.status, 0) << removed.output;
  EXPECT_NE(removed.output.find("removed: /www/audio/car1.au\n"), std::string::npos)
      << removed.output;
  EXPECT_NE(removed.output.find("removed: /www/audio\n"), std::string::npos) << removed.output;
  EXPECT_EQ(Tree(served), before);
  EXPECT_EQ(removed.output.find(TestFtpServer::kPassword), std::string::npos);

  Result again = Cli("remove", {address}, TestFtpServer::kPassword);
  EXPECT_EQ(again.status, 1) << again.output;
}

}  // namespace
}  // namespace sonavelt::run
