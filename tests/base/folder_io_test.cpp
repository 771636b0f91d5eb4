#include "base/folder_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "base/file_io.h"

namespace sonavelt::file_io {
namespace {

namespace fs = std::filesystem;

// A user id nobody on the machine has: the owner of "another user's" links.
constexpr uid_t kStranger = 54321;

class FolderIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "folder-io-XXXXXX").string();
    dir_ = mkdtemp(pattern.data());
    fs::create_directories(dir_ / "site");
    fs::create_directories(dir_ / "elsewhere");
    ASSERT_TRUE(FolderHandle::Open((dir_ / "site").string(), &site_).ok());
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Put(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string Get(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  // Names in site/ (temporary files would show here).
  std::set<std::string> Listing() const {
    std::vector<std::string> names = site_.Names();
    return std::set<std::string>(names.begin(), names.end());
  }

  fs::path dir_;
  FolderHandle site_;
};

TEST_F(FolderIoTest, WritesAndCopiesReplaceWholeFilesKeepingModeAndLeaveNoTemporary) {
  Put(dir_ / "site/index.res", "old");
  chmod((dir_ / "site/index.res").c_str(), 0640);
  ASSERT_TRUE(site_.Write("index.res", "new").ok());
  EXPECT_EQ(Get(dir_ / "site/index.res"), "new");
  struct stat st;
  ASSERT_EQ(stat((dir_ / "site/index.res").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  Put(dir_ / "elsewhere/bell.au", "bell");
  ASSERT_TRUE(site_.Copy((dir_ / "elsewhere/bell.au").string(), "bell.au").ok());
  EXPECT_EQ(Get(dir_ / "site/bell.au"), "bell");
  ASSERT_EQ(stat((dir_ / "site/bell.au").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  EXPECT_TRUE(site_.HoldsCopyOf("bell.au", (dir_ / "elsewhere/bell.au").string()));
  Put(dir_ / "elsewhere/bel.au", "bel");
  Put(dir_ / "elsewhere/bEll.au", "bEll");
  EXPECT_FALSE(site_.HoldsCopyOf("bell.au", (dir_ / "elsewhere/bel.au").string()));
  EXPECT_FALSE(site_.HoldsCopyOf("bell.au", (dir_ / "elsewhere/bEll.au").string()));
  EXPECT_FALSE(site_.HoldsCopyOf("none.au", (dir_ / "elsewhere/bell.au").string()));

  // A stop before the rename leaves the file as it was.
  std::atomic<bool> cancel{true};
  EXPECT_TRUE(site_.Write("index.res", "newer", &cancel).cancelled());
  EXPECT_EQ(Get(dir_ / "site/index.res"), "new");
  // A folder in the way is not replaced.
  fs::create_directories(dir_ / "site/sub");
  EXPECT_EQ(site_.Write("sub", "x").message(), "Is a directory");
  EXPECT_EQ(Listing(), (std::set<std::string>{"index.res", "bell.au", "sub"}));
}

TEST_F(FolderIoTest, TheFolderOpenedOnceIsTheOneWrittenToWhateverHappensToItsPath) {
  // The path now leads elsewhere; the writes still land in the folder opened.
  fs::rename(dir_ / "site", dir_ / "moved");
  fs::create_directory_symlink(dir_ / "elsewhere", dir_ / "site");
  ASSERT_TRUE(site_.Write("index.res", "r").ok());
  EXPECT_EQ(Get(dir_ / "moved/index.res"), "r");
  EXPECT_FALSE(fs::exists(dir_ / "elsewhere/index.res"));
}

TEST_F(FolderIoTest, OwnLinksAreWrittenThroughAndOthersAreRefusedBeforeAnyWrite) {
  Put(dir_ / "elsewhere/player.js", "target");
  fs::create_symlink(dir_ / "elsewhere/player.js", dir_ / "site/own.js");
  EXPECT_TRUE(site_.CheckWritable("own.js").ok());
  EXPECT_TRUE(site_.CheckWritable("missing.js").ok());
  ASSERT_TRUE(site_.Write("own.js", "new").ok());
  EXPECT_TRUE(fs::is_symlink(dir_ / "site/own.js"));
  EXPECT_EQ(Get(dir_ / "elsewhere/player.js"), "new");
  EXPECT_EQ(site_.KindOf("own.js"), FolderHandle::Kind::kLink);

  if (geteuid() != 0) GTEST_SKIP() << "giving a link to another user needs root";
  fs::create_symlink(dir_ / "elsewhere/player.js", dir_ / "site/planted.js");
  fs::create_directory_symlink(dir_ / "elsewhere", dir_ / "site/audio");
  ASSERT_EQ(lchown((dir_ / "site/planted.js").c_str(), kStranger, kStranger), 0);
  ASSERT_EQ(lchown((dir_ / "site/audio").c_str(), kStranger, kStranger), 0);
  for (const char* name : {"planted.js", "audio"}) {
    Status checked = site_.CheckWritable(name);
    EXPECT_EQ(checked.code(), Status::Code::kRefused) << name;
    EXPECT_EQ(checked.message(), kForeignLinkText);
  }
  EXPECT_EQ(site_.Write("planted.js", "evil").code(), Status::Code::kRefused);
  EXPECT_EQ(site_.Copy((dir_ / "site/own.js").string(), "planted.js").code(),
            Status::Code::kRefused);
  FolderHandle audio;
  EXPECT_EQ(site_.OpenSub("audio", /*create=*/true, &audio).code(), Status::Code::kRefused);
  EXPECT_EQ(Get(dir_ / "elsewhere/player.js"), "new");

  // The folder's owner may plant links the way the user may.
  ASSERT_EQ(chown((dir_ / "site").c_str(), kStranger, kStranger), 0);
  FolderHandle owned;
  ASSERT_TRUE(FolderHandle::Open((dir_ / "site").string(), &owned).ok());
  EXPECT_TRUE(owned.CheckWritable("planted.js").ok());
  EXPECT_TRUE(owned.OpenSub("audio", false, &audio).ok());
  EXPECT_TRUE(audio.Write("x.au", "x").ok());
  EXPECT_EQ(Get(dir_ / "elsewhere/x.au"), "x");
}

TEST_F(FolderIoTest, SubFoldersAreMadeOnceAndOnlyRegularFilesAreRead) {
  FolderHandle audio;
  ASSERT_TRUE(site_.OpenSub("audio", /*create=*/true, &audio).ok());
  ASSERT_TRUE(site_.OpenSub("audio", /*create=*/true, &audio).ok());
  EXPECT_EQ(audio.path(), (dir_ / "site/audio").string());
  ASSERT_TRUE(audio.Write("bell.au", "b").ok());
  EXPECT_EQ(Get(dir_ / "site/audio/bell.au"), "b");
  Put(dir_ / "site/file", "x");
  EXPECT_EQ(site_.OpenSub("file", true, &audio).message(), "Not a directory");

  std::string bytes;
  ASSERT_EQ(mkfifo((dir_ / "site/fifo").c_str(), 0600), 0);
  EXPECT_EQ(site_.Read("fifo", &bytes).message(), "not a regular file");
  EXPECT_EQ(site_.Read("file", &bytes, 0).message(), "file too large");
  ASSERT_TRUE(site_.Read("file", &bytes).ok());
  EXPECT_EQ(bytes, "x");
}

}  // namespace
}  // namespace sonavelt::file_io
