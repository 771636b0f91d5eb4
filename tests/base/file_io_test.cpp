#include "base/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace sonavelt::file_io {
namespace {

namespace fs = std::filesystem;

class FileIoTest : public ::testing::Test {
 protected:
  FileIoTest() {
    std::string pattern = (fs::temp_directory_path() / "file-io-XXXXXX").string();
    dir_ = mkdtemp(pattern.data());
  }
  ~FileIoTest() override { fs::remove_all(dir_); }

  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string Read(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(path, &bytes).ok()) << path;
    return bytes;
  }
  size_t EntryCount() const {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  fs::path dir_;
};

TEST_F(FileIoTest, ReplacingKeepsModeAndFailureLeavesNothingBehind) {
  std::string path = File("page.htm");
  Write(path, "old");
  chmod(path.c_str(), 0640);
  ASSERT_TRUE(WriteFileAtomically(path, "new text").ok());
  EXPECT_EQ(Read(path), "new text");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  // A new file gets 0644; a folder that is gone cannot be written into.
  ASSERT_TRUE(WriteFileAtomically(File("new.res"), "r").ok());
  ASSERT_EQ(stat(File("new.res").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  Status gone = WriteFileAtomically(File("gone/page.htm"), "x");
  EXPECT_FALSE(gone.ok());
  EXPECT_EQ(gone.message(), "No such file or directory");
  EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(FileIoTest, WritingThroughALinkEditsItsTargetAndKeepsTheLink) {
  fs::create_directories(dir_ / "real");
  Write(File("real/page.htm"), "old");
  fs::create_symlink("real/page.htm", dir_ / "link.htm");
  fs::create_symlink("link.htm", dir_ / "link2.htm");
  ASSERT_TRUE(WriteFileAtomically(File("link2.htm"), "new").ok());
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.htm"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link2.htm"));
  EXPECT_EQ(Read(File("real/page.htm")), "new");
  ASSERT_TRUE(CopyFileAtomically(File("real/page.htm"), File("copy.htm")).ok());
  EXPECT_EQ(Read(File("copy.htm")), "new");
}

TEST_F(FileIoTest, OnlyRegularFilesAreRead) {
  std::string bytes;
  ASSERT_EQ(mkfifo(File("fifo").c_str(), 0600), 0);
  // A FIFO without a writer would block a plain open; it is refused at once.
  EXPECT_EQ(ReadWholeFile(File("fifo"), &bytes).message(), "not a regular file");
  EXPECT_EQ(ReadWholeFile("/dev/zero", &bytes).message(), "not a regular file");
  EXPECT_EQ(ReadWholeFile(dir_.string(), &bytes).message(), "Is a directory");
  EXPECT_FALSE(CopyFileAtomically(File("fifo"), File("copy")).ok());
  EXPECT_FALSE(fs::exists(File("copy")));
  // Nor is anything written over a target that is not a regular file.
  EXPECT_FALSE(WriteFileAtomically(File("fifo"), "x").ok());
}

TEST_F(FileIoTest, CancelledWriteLeavesTheOldFile) {
  std::string path = File("page.htm");
  Write(path, "old");
  std::atomic<bool> cancel{true};
  EXPECT_EQ(WriteFileAtomically(path, std::string(3 << 20, 'x'), &cancel).code(),
            Status::Code::kCancelled);
  EXPECT_EQ(CopyFileAtomically(path, File("copy"), &cancel).code(), Status::Code::kCancelled);
  EXPECT_EQ(Read(path), "old");
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(FileIoTest, StaleTemporaryFilesOfDeadWritersAreRemovedOthersKept) {
  // A child that exits at once gives a pid that is surely gone.
  pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  const std::string dead = std::to_string(child);
  const std::string alive = std::to_string(getpid());
  Write(File(".page.htm.sonavelt-tmp-" + dead + "-a1B2c3"), "stale");
  Write(File(".page.htm.sonavelt-tmp-" + alive + "-a1B2c3"), "ours, being written");
  Write(File(".page.htm.XXX-" + dead), "not our pattern");
  Write(File("page.htm.sonavelt-tmp-" + dead + "-a1B2c3"), "no leading dot");
  fs::create_directories(dir_ / (".d.sonavelt-tmp-" + dead + "-zzzzzz"));
  fs::create_symlink("/etc/passwd", dir_ / (".l.sonavelt-tmp-" + dead + "-yyyyyy"));
  EXPECT_EQ(RemoveStaleTempFiles(dir_.string()), 1);
  EXPECT_FALSE(fs::exists(File(".page.htm.sonavelt-tmp-" + dead + "-a1B2c3")));
  EXPECT_EQ(EntryCount(), 5u);
  EXPECT_EQ(TempFileOwner(".a.sonavelt-tmp-123-abcdef"), 123);
  EXPECT_EQ(TempFileOwner(".a.sonavelt-tmp-123-abcde"), 0);
  EXPECT_EQ(TempFileOwner(".a.sonavelt-tmp--abcdef"), 0);
}

TEST_F(FileIoTest, AppendedLineKeepsTheOtherBytesAndTheMode) {
  struct Case {
    const char* before;  // nullptr: no file yet
    unsigned mode;       // of the file before, or the mode asked for a new one
    const char* after;
  };
  const Case cases[] = {
      {nullptr, 0600, "new line\n"},
      {"a\r\n# note\n", 0640, "a\r\n# note\nnew line\n"},
      {"no line end", 0644, "no line end\nnew line\n"},
      {"", 0600, "new line\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before ? c.before : "(none)");
    fs::create_directories(dir_ / "real");
    const std::string path = File("real/known");
    if (c.before) {
      Write(path, c.before);
      chmod(path.c_str(), c.mode);
    }
    // Through a link, as a user's dotfiles often are.
    fs::create_symlink("real/known", dir_ / "link");
    ASSERT_TRUE(AppendLineAtomically(File("link"), "new line", 0600).ok());
    EXPECT_TRUE(fs::is_symlink(dir_ / "link"));
    EXPECT_EQ(Read(path), c.after);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "real"), fs::directory_iterator()), 1);
    fs::remove_all(dir_ / "real");
    fs::remove(dir_ / "link");
  }
  // What cannot be read is not replaced.
  ASSERT_EQ(mkfifo(File("fifo").c_str(), 0600), 0);
  EXPECT_EQ(AppendLineAtomically(File("fifo"), "x").message(), "not a regular file");
}

TEST_F(FileIoTest, WriteProbeAnswersAndLeavesNothing) {
  EXPECT_TRUE(ProbeFolderWrite(dir_.string()).ok());
  EXPECT_EQ(EntryCount(), 0u);
  EXPECT_EQ(ProbeFolderWrite(File("missing")).message(), "No such file or directory");
  Write(File("file"), "x");
  EXPECT_EQ(ProbeFolderWrite(File("file")).message(), "Not a directory");
}

TEST(JoinPathTest, OneSlashBetweenFolderAndName) {
  struct Case {
    const char* folder;
    const char* joined;
  };
  for (const Case& c : {Case{"site", "site/a.au"}, Case{"site/", "site/a.au"},
                        Case{"/", "/a.au"}, Case{"", "a.au"}}) {
    EXPECT_EQ(JoinPath(c.folder, "a.au"), c.joined) << "folder \"" << c.folder << "\"";
  }
}

}  // namespace
}  // namespace sonavelt::file_io
