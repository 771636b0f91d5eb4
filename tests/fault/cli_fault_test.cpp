// sonavelt-cli run in hostile places: a disk that fills up, folders that
// cannot be written, sounds cut short, and a settings file full of garbage.
// The user's page must come out either untouched or completely edited, and
// the program must say plainly what went wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "run/resource_text.h"
#include "tests/fault/fault_support.h"
#include "tests/support/cli_test.h"
#include "tests/support/resource_file.h"
#include "tests/support/scratch_install.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kPage[] =
    "<HTML><HEAD><TITLE>Home</TITLE></HEAD>\r\n<BODY BGCOLOR=\"#FFCC00\">\r\n"
    "<P>Welcome.</P>\r\n</BODY></HTML>\r\n";

// True when `bytes` is a whole .au file: its header's data offset plus data
// size is its length.
bool IsCompleteAu(const std::string& bytes) {
  if (bytes.size() < 24 || bytes.compare(0, 4, ".snd") != 0) return false;
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  return static_cast<uint64_t>(LoadBe32(b + 4)) + LoadBe32(b + 8) == bytes.size();
}

class CliFaultTest : public CliTest {
 protected:
  CliFaultTest() : CliTest({.sample_page = true}) {}
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped()) return;
    root_ = dir_.path();
    site_ = root_ / "site";
    fs::create_directories(root_ / "sounds");
    for (const char* name : {"e.wav", "x.wav", "b.wav"})
      WriteFile((root_ / "sounds" / name).string(), SmallWave(6000));
    fs::create_directories(site_);
    WriteFile(Page(), kPage);
  }

  void TearDown() override {
    for (const fs::path& m : mounts_) Unmount(m);
  }

  std::string Page() const { return (site_ / "page.htm").string(); }

  // One combination of the test's own sounds, answering Yes to questions.
  ProgramResult Run(std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {cli_, "run", "--install-folder", install_.string(), "--yes",
                                     "-q", "-n", "1", "-e", "sounds/e.wav", "-x", "sounds/x.wav",
                                     "-b", "sounds/b.wav"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back(Page());
    return RunProgram(argv, root_,
                      {"XDG_CONFIG_HOME=" + (root_ / "config").string(),
                       "XDG_DATA_HOME=" + (root_ / "data").string(),
                       "XDG_CACHE_HOME=" + (root_ / "cache").string()});
  }

  // A tmpfs on `folder`, or the test is skipped with the reason.
  bool SmallFileSystem(const fs::path& folder, uint64_t bytes) {
    std::string why;
    if (!MountTmpfs(folder, bytes, &why)) {
      skip_reason_ = why;
      return false;
    }
    mounts_.push_back(folder);
    return true;
  }
  bool ReadOnly(const fs::path& folder) {
    std::string why;
    if (!MountReadOnlyBind(folder, &why)) {
      skip_reason_ = why;
      return false;
    }
    mounts_.push_back(folder);
    return true;
  }

  void ExpectPageUntouched() { EXPECT_EQ(ReadFile(Page()), kPage); }
  // Files the run left in the page's folder, the test's filler aside.
  std::vector<std::string> SiteFiles() {
    std::vector<std::string> files = FilesBelow(site_);
    std::erase(files, ".filler");
    return files;
  }

  fs::path root_, site_;
  std::vector<fs::path> mounts_;
  std::string skip_reason_;
};

TEST_F(CliFaultTest, FullPageDiskIsSeenBeforeAnythingIsWritten) {
  if (!SmallFileSystem(site_, 256 * 1024)) GTEST_SKIP() << skip_reason_;
  WriteFile(Page(), kPage);
  FillFileSystem(site_, 0);

  // The page's own file system is measured (the work folder's has room):
  // Yes to the low-disk question stops the run there.
  ProgramResult r = Run();
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("Disk space is low."), std::string::npos) << r.err;
  ExpectPageUntouched();
  EXPECT_EQ(SiteFiles(), std::vector<std::string>{"page.htm"});

  // Going on regardless: nothing fits, the page is kept and the message
  // says so; no temporary file stays behind.
  r = Run({"--no"});
  EXPECT_EQ(r.status, 1) << r.err;
  ExpectPageUntouched();
  EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(Page() + " was left as it was."), std::string::npos) << r.err;
  EXPECT_EQ(SiteFiles(), std::vector<std::string>{"page.htm"});
  EXPECT_FALSE(fs::exists(root_ / "config/Brindlecor/Sonavelt.ini"));
}

TEST_F(CliFaultTest, DiskFillingUpWhileCopyingSoundsLeavesThePageAndNamesWhatWasCopied) {
  if (!SmallFileSystem(site_, 256 * 1024)) GTEST_SKIP() << skip_reason_;
  WriteFile(Page(), kPage);
  // Room for one 6 KB sound, not for three.
  FillFileSystem(site_, 10 * 1024);

  ProgramResult r = Run({"--no"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("could not copy these files beside the page"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
  // The page is replaced last, so it is untouched, and the message lists
  // what was put beside it.
  ExpectPageUntouched();
  EXPECT_NE(r.err.find(Page() + " was left as it was."), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" put beside it:"), std::string::npos) << r.err;
  // A sound file beside the page is whole or absent: a cut-off copy would be
  // played as a shorter sound. No temporary file stays.
  for (const std::string& file : SiteFiles()) {
    EXPECT_EQ(file.find(".sonavelt-tmp-"), std::string::npos) << file;
    if (fs::path(file).extension() != ".au") continue;
    EXPECT_TRUE(IsCompleteAu(ReadFile((site_ / file).string()))) << file << " is cut short";
    EXPECT_NE(r.err.find((site_ / file).string()), std::string::npos) << file << " not named";
  }
  EXPECT_FALSE(fs::exists(root_ / "config/Brindlecor/Sonavelt.ini"));
}

TEST_F(CliFaultTest, FullWorkFolderDiskStopsBeforeThePage) {
  fs::path cache = root_ / "cache";
  if (!SmallFileSystem(cache, 256 * 1024)) GTEST_SKIP() << skip_reason_;
  FillFileSystem(cache, 16 * 1024);

  // The work folder's file system is measured apart from the page's.
  ProgramResult r = Run();
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("Disk space is low."), std::string::npos) << r.err;
  ExpectPageUntouched();

  r = Run({"--no"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(".wav"), std::string::npos) << r.err;
  ExpectPageUntouched();
  EXPECT_EQ(SiteFiles(), std::vector<std::string>{"page.htm"});
  // The run's work folders went with it.
  std::vector<std::string> left = FilesBelow(cache);
  std::erase(left, ".filler");
  EXPECT_TRUE(std::all_of(left.begin(), left.end(),
                          [](const std::string& f) { return f.rfind("sonavelt/locks/", 0) == 0; }))
      << ::testing::PrintToString(left);
}

TEST_F(CliFaultTest, ReadOnlyPageFolderLeavesThePageAndSaysWhy) {
  if (!ReadOnly(site_)) GTEST_SKIP() << skip_reason_;

  ProgramResult r = Run();
  EXPECT_EQ(r.status, 1) << r.err;
  ExpectPageUntouched();
  EXPECT_NE(r.err.find(Page() + " is read-only: Sonavelt may not change it."), std::string::npos)
      << r.err;
  EXPECT_EQ(SiteFiles(), std::vector<std::string>{"page.htm"});
}

TEST_F(CliFaultTest, ReadOnlyInstallFolderWorksFromTheUsersDataFolder) {
  std::vector<std::string> before = FilesBelow(install_);
  if (!ReadOnly(install_)) GTEST_SKIP() << skip_reason_;

  ProgramResult r = Run();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(FilesBelow(install_), before);
  EXPECT_TRUE(fs::exists(root_ / "data/sonavelt/HISTORY/HIS_page.htm"));
  EXPECT_TRUE(fs::exists(site_ / "audio/e.au"));
  EXPECT_TRUE(fs::exists(site_ / "SonaveltRandomEventBackground.class"));
}

TEST_F(CliFaultTest, SoundsCutShortAreRefusedByName) {
  std::string whole = SmallWave(6000);
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"cut in the data chunk", whole.substr(0, whole.size() - 1000)},
      {"cut in the fmt chunk", whole.substr(0, 20)},
      {"cut in the RIFF header", whole.substr(0, 10)},
      {"nothing at all", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile((root_ / "sounds/x.wav").string(), c.bytes);
    ProgramResult r = Run();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("x.wav"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("exit sound of combination 1"), std::string::npos) << r.err;
    ExpectPageUntouched();
    EXPECT_EQ(SiteFiles(), std::vector<std::string>{"page.htm"});
  }
  // An .au sound whose header is cut short.
  WriteFile((root_ / "sounds/cut.au").string(), std::string(".snd\0\0\0\x20\0\0", 10));
  std::vector<std::string> argv = {cli_, "run", "--install-folder", install_.string(), "--yes",
                                   "-q", "-n", "1", "-e", "sounds/e.wav", "-x", "sounds/e.wav",
                                   "-b", "sounds/cut.au", Page()};
  ProgramResult r = RunProgram(argv, root_, {"XDG_CONFIG_HOME=" + (root_ / "config").string()});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("Could not process the Sun sound file header!"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("background sound of combination 1"), std::string::npos) << r.err;
  ExpectPageUntouched();
}

// Garbage in the stored settings: the program starts from its defaults and
// completes a run without a word about it.
class SettingsGarbageTest : public CliFaultTest {
 protected:
  void SetUp() override {
    CliFaultTest::SetUp();
    if (IsSkipped()) return;
    // The default sounds live in the install folder.
    fs::create_directory_symlink(data_ / "audio", install_ / "audio");
    fs::create_directories(root_ / "config/Brindlecor");
  }
  fs::path Ini() const { return root_ / "config/Brindlecor/Sonavelt.ini"; }

  // A run on the stored choices: only the page is given.
  ProgramResult RunStored() {
    return RunProgram({cli_, "run", "--install-folder", install_.string(), "--yes", "-q", Page()},
                      root_,
                      {"XDG_CONFIG_HOME=" + (root_ / "config").string(),
                       "XDG_DATA_HOME=" + (root_ / "data").string(),
                       "XDG_CACHE_HOME=" + (root_ / "cache").string()});
  }
  // The resource file's entrance list, one entry per combination.
  std::vector<std::string> EntranceNames() {
    std::string text;
    EXPECT_TRUE(testing::DecodeResourceFile(ReadFile((site_ / "page.res").string()), &text).ok());
    size_t start = text.find(';') + 1;
    std::string list = text.substr(start, text.find(';', start) - start);
    std::vector<std::string> names;
    for (size_t from = 0;;) {
      size_t comma = list.find(',', from);
      names.push_back(list.substr(from, comma - from));
      if (comma == std::string::npos) break;
      from = comma + 1;
    }
    return names;
  }
};

TEST_F(SettingsGarbageTest, BadCountsAndListsGiveTheDefaults) {
  const char* cases[] = {
      "NOSNDCOMB=-5",
      "NOSNDCOMB=1000000000",
      "NOSNDCOMB=99999999999999999999",
      "NOSNDCOMB=three",
      "NOSNDCOMB=\"4;4\"\nOSFs=no-separator-here.wav\nCSFs=\nBSFs=a.wav,b.wav",
  };
  for (const char* values : cases) {
    SCOPED_TRACE(values);
    WriteFile(Page(), kPage);
    std::string ini = "[V1.0]\n";
    std::string v = values;
    for (size_t from = 0; from < v.size();) {
      size_t end = v.find('\n', from);
      if (end == std::string::npos) end = v.size();
      ini += "Evaluation\\History\\" + v.substr(from, end - from) + "\n";
      from = end + 1;
    }
    WriteFile(Ini().string(), ini);

    ProgramResult r = RunStored();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<std::string> names = EntranceNames();
    EXPECT_EQ(names.size(), 4u);  // the default count
    EXPECT_EQ(names[0], "audio/sonavelt.au");
    // The run stored a sane count over the garbage.
    EXPECT_NE(ReadFile(Ini().string()).find("NOSNDCOMB=4"), std::string::npos);
  }
}

TEST_F(SettingsGarbageTest, BinaryGarbageFileIsIgnored) {
  std::string junk;
  for (int i = 0; i < 3000; ++i) junk.push_back(static_cast<char>((i * 131 + 7) % 256));
  WriteFile(Ini().string(), junk);
  ProgramResult r = RunStored();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(EntranceNames().size(), 4u);
}

TEST_F(SettingsGarbageTest, UnreadableSettingsAreNotClaimedAsSaved) {
  // A folder where the file should be: it can be neither read nor written,
  // even by root.
  fs::create_directories(Ini());
  ProgramResult r = RunStored();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(EntranceNames().size(), 4u);
  // The run itself is done; the report must not say the choices were stored.
  EXPECT_EQ(r.out.find("settings: " + Ini().string() + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find(Ini().string()), std::string::npos) << r.err;
}

TEST_F(SettingsGarbageTest, UnwritableSettingsAreNotClaimedAsRemembered) {
  // The address is remembered before connecting; nothing listens on the port.
  fs::create_directories(Ini());
  ProgramResult r = RunProgram({cli_, "run", "--yes", "-q", "ftp://u@127.0.0.1:9/www/page.htm"},
                               root_,
                               {"XDG_CONFIG_HOME=" + (root_ / "config").string(),
                                "XDG_DATA_HOME=" + (root_ / "data").string(),
                                "XDG_CACHE_HOME=" + (root_ / "cache").string(),
                                "SONAVELT_FTP_PASSWORD=pw"});
  EXPECT_NE(r.err.find("The address was not remembered: " + Ini().string() + " cannot be written."),
            std::string::npos)
      << r.err;
}

}  // namespace
}  // namespace sonavelt::testing
