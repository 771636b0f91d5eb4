#include "browser/find_file.h"

#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace sonavelt::browser {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteFile;

void MakeExecutable(const std::string& path) {
  WriteFile(path, "#!/bin/sh\n");
  ::chmod(path.c_str(), 0755);
}

TEST(FindFileRecursiveTest, FindsNestedEntryIgnoringLetterCase) {
  TempDir dir;
  fs::create_directories(dir.path() / "a" / "b" / "c");
  WriteFile((dir.path() / "a" / "b" / "c" / "FIREFOX").string(), "x");
  EXPECT_EQ(FindFileRecursive(dir.path().string(), "firefox"),
            (dir.path() / "a" / "b" / "c" / "FIREFOX").string());
}

TEST(FindFileRecursiveTest, MissingOrUnlistableFolderIsNotFound) {
  TempDir dir;
  EXPECT_EQ(FindFileRecursive(dir.path().string(), "firefox"), kNotFound);
  EXPECT_EQ(FindFileRecursive(dir.File("no-such-folder"), "firefox"), kNotFound);
  EXPECT_EQ(FindFileRecursive("", "firefox"), kNotFound);
}

TEST(FindFileRecursiveTest, MatchingFolderIsAnsweredBeforeItsContents) {
  TempDir dir;
  fs::create_directories(dir.path() / "chromium");
  MakeExecutable((dir.path() / "chromium" / "chromium").string());
  EXPECT_EQ(FindFileRecursive(dir.path().string(), "chromium"), dir.File("chromium"));
  // Asked for a program, the folder of the same name is looked into instead.
  EXPECT_EQ(FindFileRecursive(dir.path().string(), "chromium", EntryKind::kTrustedProgram),
            (dir.path() / "chromium" / "chromium").string());
}

TEST(FindFileRecursiveTest, ProgramSearchSkipsPlainFilesAndLinkedFolders) {
  TempDir dir;
  TempDir elsewhere;
  MakeExecutable(elsewhere.File("firefox"));
  fs::create_directories(dir.path() / "docs");
  WriteFile((dir.path() / "docs" / "firefox").string(), "not a program");
  fs::create_directory_symlink(elsewhere.path(), dir.path() / "linked");
  EXPECT_EQ(FindFileRecursive(dir.path().string(), "firefox", EntryKind::kTrustedProgram),
            kNotFound);
  EXPECT_EQ(FindFileRecursive(dir.path().string(), "firefox"),
            (dir.path() / "docs" / "firefox").string());
}

}  // namespace
}  // namespace sonavelt::browser
