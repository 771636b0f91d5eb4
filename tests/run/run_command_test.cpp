// sonavelt-cli run, as a script would use it: exit statuses, messages on
// standard error, and a whole run that stores its choices for the next.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>

#include "tests/support/cli_test.h"
#include "tests/support/program.h"
#include "tests/support/scratch_install.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::run {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;

struct Result {
  int status = -1;
  std::string output;  // standard output and standard error together
};

class RunCommandTest : public testing::CliTest {
 protected:
  RunCommandTest() : CliTest({.sample_page = true, .sounds = true}) {}
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped()) return;
    fs::create_directories(dir_.path() / "site");
    fs::copy_file(data_ / "samples/sample.htm", dir_.path() / "site/sample.htm");
    setenv("XDG_CONFIG_HOME", (dir_.path() / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir_.path() / "data").c_str(), 1);
  }

  // `args` is shell text (the tests quote names the way a user would).
  Result Cli(const std::string& args) {
    testing::ProgramResult p = testing::RunProgram(
        {"/bin/sh", "-c",
         "exec '" + cli_ + "' run --install-folder '" + install_.string() + "' " + args},
        {.folder = dir_.path(), .merge_output = true});
    return {p.status, p.out};
  }
  std::string Ini() { return ReadFile((dir_.path() / "config/Brindlecor/Sonavelt.ini").string()); }

};

TEST_F(RunCommandTest, CommandLineErrorsAndFailedChecks) {
  EXPECT_EQ(Cli("--help").status, 0);
  EXPECT_EQ(Cli("--frobnicate").status, 2);
  EXPECT_EQ(Cli("-n").status, 2);
  EXPECT_EQ(Cli("-n 1 -e a.wav -e b.wav site/sample.htm").status, 2);

  Result missing = Cli("site/nothing.htm");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("nothing.htm was not found.\nPlease select an HTML file.\n\n"),
            std::string::npos);
  Result too_many = Cli("-n 40 site/sample.htm");
  EXPECT_EQ(too_many.status, 1);
  EXPECT_NE(too_many.output.find("\"40\" is too large in reality."), std::string::npos);
  // A URL that does not name the page is a question; without a terminal the
  // answer is No, which keeps the page.
  Result url = Cli("-u http://example.com/ site/sample.htm");
  EXPECT_EQ(url.status, 1);
  EXPECT_NE(url.output.find("Are you sure http://example.com/\nis the actual URL for sample.htm?"),
            std::string::npos);
  Result missing_sound = Cli("-n 1 -x site/gone.wav site/sample.htm");
  EXPECT_EQ(missing_sound.status, 1);
  EXPECT_NE(missing_sound.output.find("gone.wav was not found."), std::string::npos);
  EXPECT_NE(missing_sound.output.find("exit sound of combination 1"), std::string::npos);
  // Nothing was stored by runs that did not complete.
  EXPECT_FALSE(fs::exists(dir_.path() / "config/Brindlecor/Sonavelt.ini"));
}

TEST_F(RunCommandTest, CompletedRunStoresItsChoicesForTheNext) {
  Result first = Cli("--yes -n 1 --no-background --entrance-off site/sample.htm");
  ASSERT_EQ(first.status, 0) << first.output;
  EXPECT_NE(first.output.find("\n6%\n"), std::string::npos);
  EXPECT_NE(first.output.find("All Done."), std::string::npos);
  EXPECT_TRUE(fs::exists(dir_.path() / "site/audio/sonavelt.au"));
  EXPECT_TRUE(fs::exists(dir_.path() / "site/sample.res"));
  EXPECT_TRUE(fs::exists(dir_.path() / "site/SonaveltRandomEventBackground.class"));
  EXPECT_TRUE(fs::exists(install_ / "HISTORY/HIS_sample.htm"));
  EXPECT_FALSE(fs::exists(install_ / "Cache"));  // cleaned up at exit
  std::string ini = Ini();
  EXPECT_NE(ini.find("NOSNDCOMB=1"), std::string::npos);
  EXPECT_NE(ini.find("NB=YES"), std::string::npos);
  EXPECT_NE(ini.find("OSS=OFF"), std::string::npos);
  EXPECT_NE(ini.find("IV=YES"), std::string::npos);  // no background: invisible

  // Without a page or choices: the stored page, count and switches.
  Result second = Cli("--yes -q");
  ASSERT_EQ(second.status, 0) << second.output;
  EXPECT_EQ(second.output.find('%'), std::string::npos);
  std::string page = ReadFile((dir_.path() / "site/sample.htm").string());
  EXPECT_EQ(page.find("<applet", page.find("<applet") + 1), std::string::npos);
  EXPECT_NE(page.find("width=\"2\" height=\"2\""), std::string::npos);
  EXPECT_EQ(Ini(), ini);
}

// With no page given and none stored the run takes the user's copy of the
// sample page, made on first use; the install folder's stays as shipped.
TEST_F(RunCommandTest, WithoutAPageTheUsersCopyOfTheSampleIsEdited) {
  const std::string shipped = ReadFile((install_ / "samples/sample.htm").string());
  const fs::path copy = dir_.path() / "data/sonavelt/sample/sample.htm";
  Result first = Cli("--yes -q -n 1 --no-background");
  ASSERT_EQ(first.status, 0) << first.output;
  // Standard output names what the run wrote, by absolute paths.
  EXPECT_NE(first.output.find("page: " + copy.string() + "\n"), std::string::npos) << first.output;
  EXPECT_NE(first.output.find("resource file: " + (copy.parent_path() / "sample.res").string() + "\n"),
            std::string::npos)
      << first.output;
  EXPECT_NE(first.output.find("settings page: " + (install_ / "HISTORY/HIS_sample.htm").string()),
            std::string::npos)
      << first.output;
  EXPECT_NE(ReadFile(copy.string()).find("<applet"), std::string::npos);
  EXPECT_TRUE(fs::exists(copy.parent_path() / "sample.res"));
  EXPECT_EQ(ReadFile((install_ / "samples/sample.htm").string()), shipped);
  EXPECT_EQ(std::distance(fs::directory_iterator(install_ / "samples"), fs::directory_iterator()), 1)
      << "the run wrote beside the install folder's sample page";
}

// A page whose path is not UTF-8 is stored byte for byte, so the next run
// without a page finds it again.
TEST_F(RunCommandTest, APagePathThatIsNotUtf8IsFoundByTheNextRun) {
  const std::string folder = "site/caf\xe9";
  fs::create_directories(dir_.path() / folder);
  fs::copy_file(data_ / "samples/sample.htm", dir_.path() / folder / "index.htm");
  Result first = Cli("--yes -q -n 1 --no-background '" + folder + "/index.htm'");
  ASSERT_EQ(first.status, 0) << first.output;
  Result second = Cli("--yes -q");
  ASSERT_EQ(second.status, 0) << second.output;
  EXPECT_NE(second.output.find("page: " + (dir_.path() / folder / "index.htm").string() + "\n"),
            std::string::npos)
      << second.output;
}

TEST_F(RunCommandTest, BrowserPlayerIsOnByDefaultAndItsChoicesAreStored) {
  const std::string line = "<script src=\"sonavelt-player.js\" data-resource=\"sample\"></script>";
  const std::string base = "--yes -q -n 1 --no-background site/sample.htm";
  auto page = [&] { return ReadFile((dir_.path() / "site/sample.htm").string()); };
  auto count = [](const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };

  // On with nothing stored: missing from the install folder, the run stops
  // before the page is touched.
  const fs::path script = install_ / "player/sonavelt-player.js";
  const std::string player = ReadFile(script.string());
  fs::remove(script);
  Result missing = Cli(base);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("sonavelt-player.js was not found.\n"), std::string::npos);
  EXPECT_EQ(page().find("<applet"), std::string::npos);

  testing::WriteFile(script.string(), player);
  ASSERT_EQ(Cli(base).status, 0);
  EXPECT_EQ(count(page(), line), 1u);
  EXPECT_EQ(count(page(), "<script src=\"sample.sounds.js\"></script>"), 1u);
  EXPECT_EQ(ReadFile((dir_.path() / "site/sonavelt-player.js").string()), player);
  EXPECT_TRUE(fs::exists(dir_.path() / "site/sample.sounds.js"));
  EXPECT_TRUE(fs::exists(dir_.path() / "site/sample.local.js"));
  EXPECT_NE(Ini().find("HP=YES"), std::string::npos);

  // --no-html5 takes the lines out again, and the stored "NO" stands.
  ASSERT_EQ(Cli("--no-html5 " + base).status, 0);
  EXPECT_EQ(count(page(), "<script"), 0u);
  EXPECT_EQ(count(page(), "<applet"), 1u);
  EXPECT_NE(Ini().find("HP=NO"), std::string::npos);
  ASSERT_EQ(Cli(base).status, 0);
  EXPECT_EQ(count(page(), "<script"), 0u);

  // The control's corner goes to the player and is stored.
  ASSERT_EQ(Cli("--html5 --player-position Top-Right " + base).status, 0);
  EXPECT_EQ(count(page(), "data-resource=\"sample\" data-position=\"top-right\"></script>"), 1u);
  EXPECT_NE(Ini().find("PP=TOP-RIGHT"), std::string::npos);
  Result bad = Cli("--player-position middle " + base);
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.output.find("--player-position takes block, top-left"), std::string::npos);
}

}  // namespace
}  // namespace sonavelt::run
