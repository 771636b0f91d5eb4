#include "run/disk_space.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/support/recording_user_interface.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::run {
namespace {

namespace fs = std::filesystem;

TEST(DiskUseTest, FoldersOnOneFileSystemShareOneFigureAndEachIsChecked) {
  testing::TempDir dir;
  fs::create_directories(dir.path() / "work");
  fs::create_directories(dir.path() / "site");
  std::string work = dir.File("work"), site = dir.File("site");
  // /proc is a file system of its own wherever the tests run.
  std::vector<DiskUse> per_fs =
      DiskUsePerFileSystem({{work, 100}, {"/proc", 30}, {site, 50}, {dir.File("gone"), 7}});
  ASSERT_EQ(per_fs.size(), 3u);
  EXPECT_EQ(per_fs[0].folder, work);
  EXPECT_EQ(per_fs[0].bytes, 150u);
  EXPECT_EQ(per_fs[1].bytes, 30u);
  EXPECT_EQ(per_fs[2].bytes, 7u);  // cannot be looked at: counted alone

  // The page's file system is short, the work folder's is not: the question
  // names what the short one needs.
  testing::RecordingUserInterface ui;
  ui.answers = {true};
  auto free_space = [&](const std::string& folder) -> uint64_t {
    return folder == work ? 1'000'000 : 20;
  };
  EXPECT_FALSE(DiskSpaceCheck({{work, 100}, {"/proc", 30}}, free_space, ui));
  ASSERT_EQ(ui.Questions().size(), 1u);
  EXPECT_NE(ui.Questions()[0].find("Sonavelt needs 30 bytes disk space"), std::string::npos);
  EXPECT_EQ(ui.calls[0].question, QuestionKind::kYesNoStop);  // the stop icon
  // Enough everywhere: no question.
  EXPECT_TRUE(DiskSpaceCheck({{work, 100}}, free_space, ui));
  EXPECT_EQ(ui.Questions().size(), 1u);
  // A real folder's free space comes from its own file system.
  EXPECT_GT(FreeSpaceOf(work), 0u);
}

}  // namespace
}  // namespace sonavelt::run
