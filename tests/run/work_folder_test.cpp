#include "run/work_folder.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <vector>
#include <string>

#include "run/audio_sound_work.h"
#include "run/pipeline_run.h"
#include "run/target_lock.h"
#include "tests/support/recording_progress_panel.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::run {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// A pid that surely belongs to no process: a child that has been reaped.
long DeadPid() {
  pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  return child;
}

TEST(WorkFolderTest, PrivateFolderIsRemovedWithItsObjectWithoutFollowingLinks) {
  TempDir dir;
  fs::create_directories(dir.path() / "precious");
  WriteFile(dir.File("precious/letter.txt"), "keep");
  std::string path;
  {
    std::unique_ptr<WorkFolder> folder;
    const Status made = WorkFolder::Create(dir.File("cache"), "run", &folder);
    ASSERT_TRUE(made.ok()) << made.message();
    ASSERT_TRUE(folder);
    path = folder->path();
    EXPECT_EQ(WorkFolderOwner(fs::path(path).filename().string(), "run"), getpid());
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_all);
    WriteFile(path + "/bell.au", "x");
    fs::create_directory_symlink(dir.path() / "precious", path + "/link");
    // Its owner is alive and holds it: a sweep leaves it.
    EXPECT_EQ(RemoveStaleWorkFolders(dir.File("cache"), "run"), 0);
    EXPECT_TRUE(fs::exists(path + "/bell.au"));
  }
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(ReadFile(dir.File("precious/letter.txt")), "keep");
}

TEST(WorkFolderTest, SweepRemovesOnlyFoldersOfDeadProcessesNamedLikeOurs) {
  TempDir dir;
  const std::string dead = std::to_string(DeadPid());
  fs::create_directories(dir.path() / ("run-" + dead + "-aB3xYz"));
  WriteFile(dir.File("run-" + dead + "-aB3xYz/index.res"), "x");
  fs::create_directories(dir.path() / ("work-" + dead + "-aB3xYz"));
  fs::create_directories(dir.path() / ("run-" + std::to_string(getpid()) + "-aB3xYz"));
  fs::create_directories(dir.path() / "run-photos");
  fs::create_directories(dir.path() / "precious");
  WriteFile(dir.File("precious/letter.txt"), "keep");
  fs::create_directory_symlink(dir.path() / "precious", dir.path() / ("run-" + dead + "-zzzzzz"));

  EXPECT_EQ(RemoveStaleWorkFolders(dir.path().string(), "run"), 1);
  EXPECT_FALSE(fs::exists(dir.path() / ("run-" + dead + "-aB3xYz")));
  EXPECT_TRUE(fs::exists(dir.path() / ("work-" + dead + "-aB3xYz")));  // another prefix
  EXPECT_TRUE(fs::exists(dir.path() / ("run-" + std::to_string(getpid()) + "-aB3xYz")));
  EXPECT_TRUE(fs::exists(dir.path() / "run-photos"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / ("run-" + dead + "-zzzzzz")));
  EXPECT_EQ(ReadFile(dir.File("precious/letter.txt")), "keep");
}

TEST(TargetLockTest, OnePageOneLockWhateverPathLeadsToIt) {
  TempDir dir;
  fs::create_directories(dir.path() / "site");
  WriteFile(dir.File("site/index.htm"), "<html><body></body></html>");
  fs::create_symlink("site", dir.path() / "alias");
  PageTarget direct, through_link, other, remote;
  direct.local_html_path = dir.File("site/index.htm");
  through_link.local_html_path = dir.File("alias/../alias/index.htm");
  other.local_html_path = dir.File("other/index.htm");
  remote.is_remote = true;
  remote.remote_site = "ftp.example.com";
  remote.remote_path = "/index.htm";
  EXPECT_EQ(TargetKey(direct), TargetKey(through_link));
  EXPECT_NE(TargetKey(direct), TargetKey(other));
  remote.remote_scheme = "ftps";
  remote.remote_user = "ann";
  remote.remote_port = 990;
  EXPECT_EQ(TargetKey(remote), "remote:ftps://ann@ftp.example.com:990/index.htm");
  // Another port, user or scheme of the same host is another site.
  for (auto change : std::vector<std::function<void(PageTarget&)>>{
           [](PageTarget& p) { p.remote_port = 23102; },
           [](PageTarget& p) { p.remote_user = "bob"; },
           [](PageTarget& p) { p.remote_scheme = "sftp"; }}) {
    PageTarget another = remote;
    change(another);
    EXPECT_NE(TargetKey(another), TargetKey(remote));
  }

  TargetLock first, second;
  ASSERT_TRUE(first.Acquire(dir.File("locks"), TargetKey(direct), std::chrono::milliseconds(0),
                            nullptr, nullptr)
                  .ok());
  int waited = 0;
  Status busy = second.Acquire(dir.File("locks"), TargetKey(through_link),
                               std::chrono::milliseconds(250), nullptr, [&] { ++waited; });
  EXPECT_EQ(busy.code(), Status::Code::kRefused);
  EXPECT_EQ(waited, 1);
  EXPECT_TRUE(second.Acquire(dir.File("locks"), TargetKey(other), std::chrono::milliseconds(0),
                             nullptr, nullptr)
                  .ok());
  first.Release();
  EXPECT_TRUE(second.Acquire(dir.File("locks"), TargetKey(direct), std::chrono::milliseconds(0),
                             nullptr, nullptr)
                  .ok());
}

TEST(TargetLockTest, RunOnAPageAnotherRunHoldsStopsWithAMessageAndWritesNothing) {
  TempDir dir;
  fs::create_directories(dir.path() / "site");
  const std::string page_text = "<html><body></body></html>";
  WriteFile(dir.File("site/index.htm"), page_text);
  // A 24-byte .au header (mu-law, 8000 Hz, mono) and 64 bytes of sound.
  const std::string header(".snd\0\0\0\x18\xFF\xFF\xFF\xFF\0\0\0\x01\0\0\x1f\x40\0\0\0\x01", 24);
  WriteFile(dir.File("a.au"), header + std::string(64, '\x7f'));
  PageTarget page;
  page.local_html_path = dir.File("site/index.htm");
  TargetLock other_run;
  ASSERT_TRUE(other_run.Acquire(dir.File("locks"), TargetKey(page), std::chrono::milliseconds(0),
                                nullptr, nullptr)
                  .ok());

  SoundSet sounds;
  sounds.combination_count = 1;
  sounds.entrance_sounds = sounds.exit_sounds = sounds.background_sounds = {dir.File("a.au")};
  RunOptions options;
  InstallPaths paths;
  paths.cache_folder = dir.File("work");
  testing::RecordingUserInterface ui;
  testing::RecordingProgressPanel panel;
  StopRequest stop;
  AudioSoundWork work(ui);
  RunServices services;
  services.sounds = &work;
  services.lock_folder = dir.File("locks");
  services.lock_wait = std::chrono::milliseconds(300);
  RunOutcome outcome = PipelineRun(page, sounds, options, paths, ui, panel, stop, services).Run();
  Show(ui, outcome.message);
  EXPECT_EQ(outcome.end, RunOutcome::End::kSentBack);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0], page.local_html_path +
                                  " is being changed by another Sonavelt run.\r\n"
                                  "Nothing was written. Run again when that run has finished.");
  ASSERT_FALSE(panel.texts.empty());
  EXPECT_EQ(panel.texts[0], "Waiting for another Sonavelt run on index.htm to finish.");
  EXPECT_EQ(ReadFile(page.local_html_path), page_text);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "site"), fs::directory_iterator()),
            1);
}

}  // namespace
}  // namespace sonavelt::run
