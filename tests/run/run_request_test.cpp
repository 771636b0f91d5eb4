#include "run/run_request.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "run/startup.h"
#include "settings/settings_store.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::run {
namespace {

using testing::RecordingUserInterface;
using testing::TempDir;
using testing::WriteFile;

class RequestBuilderTest : public ::testing::Test {
 protected:
  RequestBuilderTest() {
    request_.paths = MakeInstallPaths(dir_.path().string(), "");
    page_ = dir_.File("index.htm");
    WriteFile(page_, "<html><body></body></html>");
  }
  TempDir dir_;
  std::string page_;
  RunRequest request_;
  StoredHistory stored_;
};

// The refusals of the first page come back with the words and box the user
// sees, and name the field to correct; the page checks come first.
TEST_F(RequestBuilderTest, FirstPageRefusalsNameTheirFieldAndBox) {
  RequestBuilder builder(request_, stored_);
  FirstPageField field = FirstPageField::kCount;

  const std::string missing = dir_.File("gone.htm");
  Status status = builder.LeaveFirstPage(missing, "17", &field);
  EXPECT_EQ(status.message(), missing + " was not found.\r\nPlease select an HTML file.");
  EXPECT_EQ(status.box(), BoxStyle::kSystemModal);
  EXPECT_EQ(field, FirstPageField::kPage);

  const std::string fifo = dir_.File("pipe.htm");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  status = builder.LeaveFirstPage(fifo, "4", &field);
  EXPECT_EQ(status.message(),
            fifo + " is a named pipe (FIFO), not a file.\r\nPlease select an HTML file.");

  const std::string listed = dir_.File("a;b.htm");
  WriteFile(listed, "<html></html>");
  status = builder.LeaveFirstPage(listed, "4", &field);
  EXPECT_EQ(status.message(), ListSeparatorMessage(listed, "HTML"));
  EXPECT_EQ(field, FirstPageField::kPage);
  EXPECT_NE(request_.page.local_html_path, listed);

  // A good page is taken before the count is looked at.
  status = builder.LeaveFirstPage(page_, "17", &field);
  EXPECT_EQ(status.message(), "\"17\" is too large in reality.");
  EXPECT_EQ(status.box(), BoxStyle::kPlain);
  EXPECT_EQ(field, FirstPageField::kCount);
  EXPECT_EQ(request_.page.local_html_path, page_);

  ASSERT_TRUE(builder.LeaveFirstPage(page_, " 3 ", &field).ok());
  EXPECT_EQ(request_.sounds.combination_count, 3);
  EXPECT_EQ(request_.sounds.entrance_sounds.size(), 3u);
  EXPECT_EQ(request_.sounds.background_sounds.size(), 3u);
}

// A remote page was checked where it was chosen: the path field is not a
// local page then, and the local page remembered stays.
TEST_F(RequestBuilderTest, RemotePageSkipsTheLocalPageCheck) {
  request_.page.is_remote = true;
  request_.page.local_html_path = page_;
  RequestBuilder builder(request_, stored_);
  FirstPageField field = FirstPageField::kPage;
  EXPECT_TRUE(builder.LeaveFirstPage("site.example.com:/www/index.htm", "2", &field).ok());
  EXPECT_EQ(request_.page.local_html_path, page_);
  EXPECT_EQ(request_.sounds.combination_count, 2);
}

TEST_F(RequestBuilderTest, OptionsPageClicksThenUrlCheckWithItsQuestion) {
  request_.page.local_html_path = page_;
  request_.options.random_order = true;
  RequestBuilder builder(request_, stored_);
  FirstPageField field;
  ASSERT_TRUE(builder.LeaveFirstPage(page_, "1", &field).ok());
  builder.ShowOptions();
  // One combination: nothing to play in random order.
  EXPECT_FALSE(builder.option_boxes().random_order.enabled);
  builder.ClickOption(OptionBoxId::kNoBackground, true);
  EXPECT_TRUE(builder.option_boxes().invisible_applet.checked);

  RecordingUserInterface ui;
  ui.answers = {false};
  Status status = builder.LeaveOptionsPage("http://example.com/", ui);
  EXPECT_TRUE(status.cancelled());  // No: stays, and there is nothing to show
  Show(ui, status);
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(ui.Questions(),
            std::vector<std::string>{"Are you sure http://example.com/\r\nis the actual URL for index.htm?"});
  EXPECT_TRUE(request_.options.no_background);  // read before the check
  EXPECT_FALSE(request_.options.random_order);

  EXPECT_TRUE(builder.LeaveOptionsPage("www.example.com/index.htm", ui).ok());
  EXPECT_EQ(request_.options.page_url, "http://www.example.com/index.htm");
  EXPECT_EQ(ui.calls.size(), 1u);

  // Back keeps what the page shows without checking it.
  builder.KeepOptions("not a url");
  EXPECT_EQ(request_.options.page_url, "not a url");
}

TEST_F(RequestBuilderTest, InstallFilesTheRunCopiesMustBeThere) {
  request_.options.browser_player = true;
  Status status = CheckInstallFiles(request_);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find(request_.paths.applet_class_path), std::string::npos);
  EXPECT_EQ(status.box(), BoxStyle::kSystemModal);

  WriteFile(request_.paths.applet_class_path, "class");
  status = CheckInstallFiles(request_);
  EXPECT_NE(status.message().find(request_.paths.player_script_path), std::string::npos);
  request_.options.browser_player = false;
  EXPECT_TRUE(CheckInstallFiles(request_).ok());
}

// Both front ends start from the same place: the given install folder, else
// the stored one; the page and count of the last completed run.
TEST(StartUpTest, InstallFolderGivenElseStoredAndTheLastRunsChoices) {
  TempDir dir;
  SettingsStore store(dir.File("settings.ini"));
  store.SetAppPath("/opt/stored");
  StoredHistory history;
  history.html_file = "/home/alice/site/index.htm";
  history.combination_count = 3;
  store.WriteHistory(history);

  StartUp given = LoadStartUp(store, dir.path().string());
  EXPECT_EQ(given.request.paths.install_folder, dir.path().string());
  EXPECT_EQ(given.request.page.local_html_path, "/home/alice/site/index.htm");
  EXPECT_FALSE(given.request.page.is_remote);
  EXPECT_EQ(given.request.sounds.combination_count, 3);
  EXPECT_EQ(given.stored.combination_count, 3);
  EXPECT_TRUE(given.request.paths.cache_folder.empty());

  StartUp stored = LoadStartUp(store);
  EXPECT_EQ(stored.request.paths.install_folder, "/opt/stored");
  EXPECT_EQ(stored.request.paths.applet_class_path,
            std::string("/opt/stored/") + kAppletClassFileName);
}

// Both front ends propose the user's copy of the sample page when nothing is
// stored; leaving the first page with it makes the copy.
TEST(StartUpTest, TheSamplePageProposedIsTheUsersCopyMadeWhenLeavingTheFirstPage) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() / "install/samples");
  WriteFile(dir.File("install/samples/sample.htm"), "<html><body></body></html>");
  setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
  SettingsStore store(dir.File("settings.ini"));
  StartUp start = LoadStartUp(store, dir.File("install"));
  unsetenv("XDG_DATA_HOME");
  const std::string copy = dir.File("data/sonavelt/sample/sample.htm");
  EXPECT_EQ(start.request.page.local_html_path, copy);
  RequestBuilder builder(start.request, start.stored);
  FirstPageField field = FirstPageField::kCount;
  ASSERT_TRUE(builder.LeaveFirstPage(copy, "1", &field).ok());
  EXPECT_EQ(testing::ReadFile(copy), "<html><body></body></html>");
}

}  // namespace
}  // namespace sonavelt::run
