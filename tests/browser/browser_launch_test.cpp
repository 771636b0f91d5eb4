#include "browser/browser_launch.h"

#include <sys/stat.h>

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

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

class LaunchBrowserTest : public ::testing::Test {
 protected:
  LaunchBrowserTest() {
    search_.program_folder = (programs_.path() / "opt").string();
    search_.whole_filesystem = root_.path().string();
    fs::create_directories(search_.program_folder);
  }
  std::string MakeProgram(const fs::path& path) {
    fs::create_directories(path.parent_path());
    testing::WriteFile(path.string(), "#!/bin/sh\n");
    ::chmod(path.c_str(), 0755);
    return path.string();
  }
  void Launch() { LaunchBrowser(kAddress, ui_, starter_, search_); }

  static constexpr const char* kAddress = "/tmp/HISTORY/HIS_page.htm";
  TempDir programs_;
  TempDir root_;
  BrowserSearch search_;
  FakeStarter starter_;
  RecordingUserInterface ui_;
};

TEST_F(LaunchBrowserTest, BrowserVariableComesFirstThenTheOpener) {
  search_.browser_variable = "mybrowser --new-window:other";
  starter_.working = {"other"};
  Launch();
  ASSERT_EQ(starter_.started.size(), 2u);
  EXPECT_EQ(starter_.started[0], (std::vector<std::string>{"mybrowser", kAddress}));
  EXPECT_EQ(starter_.started[1], (std::vector<std::string>{"other", kAddress}));

  starter_.started.clear();
  search_.browser_variable.clear();
  starter_.working = {"xdg-open"};
  Launch();
  ASSERT_EQ(starter_.started.size(), 1u);
  EXPECT_EQ(starter_.started[0], (std::vector<std::string>{"xdg-open", kAddress}));
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_F(LaunchBrowserTest, BrowserOnSearchPathIsStartedWithoutDiskSearch) {
  // A program under the roots would be found if they were searched.
  MakeProgram(fs::path(search_.program_folder) / "firefox" / "firefox");
  starter_.working = {"firefox"};
  Launch();
  ASSERT_EQ(starter_.started.size(), 2u);
  EXPECT_EQ(starter_.started[1], (std::vector<std::string>{"firefox", kAddress}));
}

TEST_F(LaunchBrowserTest, BrowserInProgramFolderIsStartedByFullPathWhateverTheResult) {
  const std::string path = MakeProgram(fs::path(search_.program_folder) / "deep" / "firefox" / "firefox");
  Launch();  // nothing "works": the found path's start fails, yet the launch stops
  ASSERT_EQ(starter_.started.size(), 3u);
  EXPECT_EQ(starter_.started[2], (std::vector<std::string>{path, kAddress}));
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_F(LaunchBrowserTest, WholeFilesystemIsSearchedAfterTheProgramFolder) {
  const std::string path = MakeProgram(root_.path() / "usr" / "lib" / "chromium" / "chromium");
  Launch();
  // opener, firefox by name, chromium by name, then the found chromium.
  ASSERT_EQ(starter_.started.size(), 4u);
  EXPECT_EQ(starter_.started[2][0], "chromium");
  EXPECT_EQ(starter_.started[3], (std::vector<std::string>{path, kAddress}));
}

TEST_F(LaunchBrowserTest, NothingFoundTellsTheUserToOpenTheLink) {
  Launch();
  ASSERT_EQ(ui_.calls.size(), 1u);
  EXPECT_EQ(ui_.calls[0].style, BoxStyle::kSystemModal);
  EXPECT_EQ(ui_.calls[0].text,
            "Sonavelt could not locate neither firefox nor chromium.\r\n"
            "Please open the link: /tmp/HISTORY/HIS_page.htm by yourself.");
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
