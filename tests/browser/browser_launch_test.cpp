#include "browser/browser_launch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "browser/find_file.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::browser {
namespace {

namespace fs = std::filesystem;
using testing::RecordingUserInterface;
using testing::TempDir;

// Records every start; starts only the programs it is told exist.
class FakeStarter : public ProcessStarter {
 public:
  bool Start(const std::vector<std::string>& args) override {
    started.push_back(args);
    return working.count(args[0]) > 0;
  }
  std::vector<std::vector<std::string>> started;
  std::set<std::string> working;
};

// Records every start and hands it to a real starter.
class RecordingStarter : public ProcessStarter {
 public:
  explicit RecordingStarter(ProcessStarter& real) : real_(real) {}
  bool Start(const std::vector<std::string>& args) override {
    started.push_back(args);
    return real_.Start(args);
  }
  std::vector<std::vector<std::string>> started;

 private:
  ProcessStarter& real_;
};

std::string MakeProgram(const fs::path& path, const std::string& body = "") {
  fs::create_directories(path.parent_path());
  testing::WriteFile(path.string(), "#!/bin/sh\n" + body);
  ::chmod(path.c_str(), 0755);
  return path.string();
}

class LaunchBrowserTest : public ::testing::Test {
 protected:
  LaunchBrowserTest() {
    search_.path_folders = {(root_.path() / "bin").string()};
    search_.search_roots = {(root_.path() / "opt").string(), (root_.path() / "usr").string()};
    for (const std::string& folder : {search_.path_folders[0], search_.search_roots[0],
                                      search_.search_roots[1]})
      fs::create_directories(folder);
  }
  void Launch() { Show(ui_, LaunchBrowser(kAddress, starter_, search_)); }

  static constexpr const char* kAddress = "/home/alice/.local/share/Sonavelt/HISTORY/HIS_my page.htm";
  TempDir root_;
  BrowserSearch search_;
  FakeStarter starter_;
  RecordingUserInterface ui_;
};

TEST_F(LaunchBrowserTest, BrowserVariableIsAListOfCommandsThenTheOpener) {
  search_.browser_variable = "mybrowser --new-window:other %s --x=%%s:";
  starter_.working = {"other"};
  Launch();
  ASSERT_EQ(starter_.started.size(), 2u);
  EXPECT_EQ(starter_.started[0], (std::vector<std::string>{"mybrowser", "--new-window", kAddress}));
  EXPECT_EQ(starter_.started[1], (std::vector<std::string>{"other", kAddress, "--x=%s"}));

  starter_.started.clear();
  search_.browser_variable.clear();
  const std::string opener = MakeProgram(fs::path(search_.path_folders[0]) / "xdg-open");
  starter_.working = {opener};
  Launch();
  ASSERT_EQ(starter_.started.size(), 1u);
  EXPECT_EQ(starter_.started[0], (std::vector<std::string>{opener, kAddress}));
  EXPECT_TRUE(ui_.calls.empty());
}

TEST(BrowserCommandArgsTest, ProgramPathsWithBlanksAndQuotes) {
  TempDir dir;
  const std::string program = MakeProgram(dir.path() / "my bin" / "browser");
  EXPECT_EQ(BrowserCommandArgs(program, "/a b.htm"), (std::vector<std::string>{program, "/a b.htm"}));
  EXPECT_EQ(BrowserCommandArgs(program + " --private %s", "/a b.htm"),
            (std::vector<std::string>{program, "--private", "/a b.htm"}));
  EXPECT_EQ(BrowserCommandArgs("'" + program + "' -x", "u"),
            (std::vector<std::string>{program, "-x", "u"}));
  EXPECT_EQ(BrowserCommandArgs("\"/no such/prog\" \"%s\"", "u"),
            (std::vector<std::string>{"/no such/prog", "u"}));
  EXPECT_EQ(BrowserCommandArgs("prog a\\ b", "u"), (std::vector<std::string>{"prog", "a b", "u"}));
  EXPECT_TRUE(BrowserCommandArgs("   ", "u").empty());
}

TEST_F(LaunchBrowserTest, BrowserOnSearchPathIsStartedWithoutDiskSearch) {
  const std::string on_path = MakeProgram(fs::path(search_.path_folders[0]) / "firefox");
  // A program under the roots would be found if they were searched.
  MakeProgram(fs::path(search_.search_roots[0]) / "firefox" / "firefox");
  starter_.working = {on_path};
  Launch();
  ASSERT_EQ(starter_.started.size(), 1u);
  EXPECT_EQ(starter_.started[0], (std::vector<std::string>{on_path, kAddress}));
}

TEST_F(LaunchBrowserTest, BrowserUnderARootIsStartedByFullPathWhateverTheResult) {
  const std::string path =
      MakeProgram(fs::path(search_.search_roots[0]) / "deep" / "firefox" / "firefox");
  Launch();  // the found path's start fails, yet the launch stops
  ASSERT_EQ(starter_.started.size(), 1u);
  EXPECT_EQ(starter_.started[0], (std::vector<std::string>{path, kAddress}));
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_F(LaunchBrowserTest, LaterRootsAreSearchedForTheSecondBrowser) {
  const std::string path =
      MakeProgram(fs::path(search_.search_roots[1]) / "lib" / "chromium" / "chromium");
  Launch();
  ASSERT_EQ(starter_.started.size(), 1u);
  EXPECT_EQ(starter_.started[0], (std::vector<std::string>{path, kAddress}));
}

TEST_F(LaunchBrowserTest, NothingFoundTellsTheUserToOpenTheLink) {
  Launch();
  ASSERT_EQ(ui_.calls.size(), 1u);
  EXPECT_EQ(ui_.calls[0].style, BoxStyle::kSystemModal);
  EXPECT_EQ(ui_.calls[0].text,
            "Sonavelt could not locate neither firefox nor chromium.\r\n"
            "Please open the link: /home/alice/.local/share/Sonavelt/HISTORY/HIS_my page.htm by "
            "yourself.");

  search_.browser_variable = "/opt/gone/browser";
  Launch();
  EXPECT_EQ(ui_.calls[1].text,
            "Sonavelt could not start the browser set in $BROWSER (/opt/gone/browser).\r\n"
            "Sonavelt could not locate neither firefox nor chromium.\r\n"
            "Please open the link: /home/alice/.local/share/Sonavelt/HISTORY/HIS_my page.htm by "
            "yourself.");
}

// Programs anyone could have put there are never started: a planted
// "FireFox" in a folder everyone may write to, one owned by another user,
// and one behind a link to such a place. Each would record that it ran.
TEST(BrowserSearchSafetyTest, PlantedProgramsAreNeverRun) {
  TempDir root;
  const fs::path ran = root.path() / "RAN";
  const std::string body = "touch '" + ran.string() + "'\n";
  const fs::path open = root.path() / "usr" / "public";     // like /tmp
  const fs::path stranger = root.path() / "usr" / "share";  // a file of someone else
  const fs::path links = root.path() / "opt" / "links";
  MakeProgram(open / "FireFox", body);
  ::chmod(open.c_str(), 01777);
  const std::string foreign = MakeProgram(stranger / "firefox", body);
  ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0) << "the test needs to give a file away";
  const fs::path nested_open = root.path() / "opt" / "tmp" / "chromium";
  MakeProgram(nested_open / "chromium", body);
  ::chmod(nested_open.parent_path().c_str(), 0777);
  fs::create_directories(links);
  fs::create_symlink(open / "FireFox", links / "chromium");

  BrowserSearch search;
  search.desktop_opener = "FireFox";
  search.path_folders = {open.string(), stranger.string()};
  search.search_roots = {(root.path() / "opt").string(), (root.path() / "usr").string(),
                         open.string()};
  SpawnProcessStarter real_starter(std::chrono::milliseconds(500));
  RecordingStarter starter(real_starter);
  RecordingUserInterface ui;
  Show(ui, LaunchBrowser("/home/alice/site/index.htm", starter, search));
  // A program runs only if it was started, and every start passes here: with
  // none, nothing can create the file later either.
  EXPECT_EQ(starter.started, std::vector<std::vector<std::string>>{});
  EXPECT_FALSE(fs::exists(ran));
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_NE(ui.Messages()[0].find("could not locate neither"), std::string::npos);

  EXPECT_FALSE(IsTrustedProgram((open / "FireFox").string()));
  EXPECT_FALSE(IsTrustedProgram(foreign));
  EXPECT_FALSE(IsTrustedProgram((links / "chromium").string()));
  // The same file in a folder of our own, owned by us, is a program to run.
  const std::string own = MakeProgram(root.path() / "bin" / "firefox", body);
  EXPECT_TRUE(IsTrustedProgram(own));
}

TEST(SpawnProcessStarterTest, ReportsMissingAndFailingProgramsAsNotStarted) {
  SpawnProcessStarter starter(std::chrono::milliseconds(2000));
  EXPECT_FALSE(starter.Start({"/nonexistent/program"}));
  EXPECT_FALSE(starter.Start({"false"}));
  EXPECT_TRUE(starter.Start({"true"}));
  // The argument reaches the program unchanged, shell characters included.
  TempDir dir;
  const std::string odd = dir.File("a b;$(touch x)");
  EXPECT_TRUE(starter.Start({"touch", odd}));
  EXPECT_TRUE(fs::exists(odd));
  EXPECT_FALSE(fs::exists(dir.File("x")));
}

}  // namespace
}  // namespace sonavelt::browser
